#include "console/shell/module.h"
#include "console/shell/pictures.h"
#include "console/shell/proinfowin.h"
#include "console/shell/windows.h"
#include "console/tests/support/elided_texts.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QUrl>

using console::MessageAnswer;
using console::proinfowin;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;

namespace {

struct Expected {
    const char* control; // empty: the window's title
    const char* texts[3];
};

const Expected kCaptions[] = {
    {"", {"Ostrum Console - About", "Ostrum控制台 - 产品信息", "Ostrum控制臺 - 產品信息"}},
    {"statelabel", {"State", "当前状态", "當前狀態"}},
    {"historylabel", {"History", "查看历史", "查看歷史"}},
    {"settinglabel", {"Settings", "参数配置", "參數配置"}},
    {"advlabel", {"Advanced", "高级配置", "高級配置"}},
    {"proinfolabel", {"About", "产品信息", "產品信息"}},
    {"pronamelabel", {"Ostrum Application Firewall", "Ostrum应用防火墙", "Ostrum應用防火墻"}},
    {"proverframe", {"Product Version", "产品版本", "產品版本"}},
    {"updatelabel", {"Check Update", "检查升级", "檢查升級"}},
    {"supportLabel", {"Online Support", "在线支持", "在綫援助"}},
    {"ruleverframe", {"Rule Version", "规则版本", "規則版本"}},
    {"driververframe", {"Driver Version", "驱动版本", "驅動版本"}},
    {"cooframe", {"Cooperation", "合作伙伴", "合作夥伴"}},
    {"bbslabel", {"Online Talk", "在线讨论", "在線討論"}},
};

// Stands in for the updater: records its arguments and its current folder.
const QByteArray kUpdateStandIn = "#!/bin/sh\necho \"$@\" > \"$0.args\"\npwd > \"$0.cwd\"\n";

proinfowin& load() {
    return console::window<proinfowin>();
}

QLabel* label(const char* name) {
    QLabel* found = load().findChild<QLabel*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qWarning("no label %s", name);
    }
    return found;
}

void moveOver(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

void writeUpdateStandIn(const ProgramFolder& folder) {
    folder.write(QStringLiteral("update"), kUpdateStandIn);
    QFile(folder.file(QStringLiteral("update")))
        .setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

// Receives the pages the window asks the desktop to open.
class PageRecorder : public QObject {
    Q_OBJECT
public:
    QStringList pages;
public slots:
    void open(const QUrl& url) { pages.append(url.toString()); }
};

class ProInfoWinTest : public QObject {
    Q_OBJECT
private slots:
    void init() { console::module().uiLanguage = 0; }

    void cleanup() {
        console::unload<proinfowin>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void versionsComeFromTheSettings() {
        ProgramFolder folder;
        folder.write(QStringLiteral("ostrum.cfg"),
                     "[setting]\r\nostrum_ver=2.3.1\r\nrule_ver=20261209\r\n");
        load();
        QCOMPARE(label("proverlabel")->text(), QStringLiteral("2.3.1"));
        QCOMPARE(label("ruleverlabel")->text(), QStringLiteral("20261209"));
        QCOMPARE(label("driververlabel")->text(), QStringLiteral("1.0"));
        QVERIFY(!load().windowIcon().isNull());
        // Read once: a later change shows at the next start only.
        console::writeSetting(QStringLiteral("ostrum_ver"), QStringLiteral("2.4"));
        load().repaint();
        QCOMPARE(label("proverlabel")->text(), QStringLiteral("2.3.1"));
    }

    void checkUpdateAnsweredNoStartsNothing() {
        ProgramFolder folder;
        writeUpdateStandIn(folder);
        load();
        MessageRecorder messages;
        messages.answerNext(MessageAnswer::No);
        QTest::mouseClick(label("updatelabel"), Qt::LeftButton);
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("Click to Update.")});
        QCOMPARE(messages.messages()[0].title, QStringLiteral("Ostrum Console"));
        QCOMPARE(messages.messages()[0].buttons, console::MessageButtons::YesNo);
        QTest::qWait(300);
        QVERIFY(!QFile::exists(folder.file(QStringLiteral("update.args"))));
    }

    void checkUpdateAnsweredYesStartsTheUpdaterInTheProgramFolder() {
        ProgramFolder folder;
        writeUpdateStandIn(folder);
        const QString startFolder = QDir::currentPath();
        console::module().uiLanguage = 2;
        load();
        MessageRecorder messages;
        QTest::mouseClick(label("updatelabel"), Qt::LeftButton);
        QCOMPARE(messages.texts(), QStringList{QStringLiteral("點擊檢查升級.")});
        QTRY_VERIFY(QFile::exists(folder.file(QStringLiteral("update.cwd"))));
        QTRY_COMPARE(folder.read(QStringLiteral("update.args")), QByteArray("-s\n"));
        QTRY_COMPARE(QDir(QString::fromUtf8(folder.read(QStringLiteral("update.cwd")).trimmed()))
                         .canonicalPath(),
                     QDir(folder.path()).canonicalPath());
        QCOMPARE(QDir::currentPath(), startFolder);
    }

    void anUpdaterThatCannotStartIsReported() {
        ProgramFolder folder;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", folder.path().toUtf8());
        load();
        MessageRecorder messages;
        QTest::mouseClick(label("updatelabel"), Qt::LeftButton);
        qputenv("PATH", path);
        QCOMPARE(messages.texts(), (QStringList{QStringLiteral("Click to Update."),
                                                QStringLiteral("Failed to Start the Updater!")}));
    }

    void linksOpenTheirPages() {
        ProgramFolder folder;
        PageRecorder recorder;
        QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "open");
        load();
        for (const char* name : {"procopyrightlabel", "supportLabel", "supportbtn", "bbslabel",
                                 "bbsbtn", "coolabel"}) {
            QTest::mouseClick(label(name), Qt::LeftButton);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        QCOMPARE(recorder.pages, (QStringList{proinfowin::kHomePage, proinfowin::kSupportPage,
                                              proinfowin::kSupportPage, proinfowin::kForumPage,
                                              proinfowin::kForumPage, proinfowin::kPartnerPage}));
    }

    void hoverShowsTheFocusPicture() {
        ProgramFolder folder;
        load();
        const qint64 normal = console::picture(QStringLiteral("btn4w")).cacheKey();
        const qint64 focus = console::picture(QStringLiteral("btn4wfocus")).cacheKey();
        QCOMPARE(label("updatebtn")->pixmap().cacheKey(), normal);
        moveOver(label("updatelabel"), QPoint(5, 5));
        moveOver(label("bbslabel"), QPoint(5, 5));
        QCOMPARE(label("updatebtn")->pixmap().cacheKey(), focus);
        QCOMPARE(label("bbsbtn")->pixmap().cacheKey(), focus);
        QCOMPARE(label("supportbtn")->pixmap().cacheKey(), normal);
        moveOver(&load(), QPoint(load().width() - 5, load().height() - 5));
        for (const char* image : {"updatebtn", "bbsbtn", "supportbtn"}) {
            QCOMPARE(label(image)->pixmap().cacheKey(), normal);
        }
    }

    void rendersInEachLanguage() {
        ProgramFolder folder;
        proinfowin& w = load();
        for (int language = 0; language < 3; ++language) {
            console::module().uiLanguage = language;
            w.grab();
            QVERIFY(w.grab().save(console::testing::renderFolder() +
                                  QStringLiteral("proinfowin-%1.png").arg(language)));
            QCOMPARE(console::testing::elidedTexts(w), QStringList());
            // A caption fitted to its label keeps the label's own font.
            const QFont product = w.findChild<QLabel*>(QStringLiteral("pronamelabel"))->font();
            QVERIFY(product.bold() && product.pointSizeF() > w.font().pointSizeF());
            for (const Expected& e : kCaptions) {
                const QString name = QString::fromLatin1(e.control);
                const QString expected = QString::fromUtf8(e.texts[language]);
                if (name.isEmpty()) {
                    QCOMPARE(w.windowTitle(), expected);
                } else if (auto* frame = w.findChild<QGroupBox*>(name)) {
                    QCOMPARE(frame->title(), expected);
                } else {
                    QVERIFY2(label(e.control) != nullptr, e.control);
                    QCOMPARE(label(e.control)->text(), expected);
                }
            }
            QVERIFY(!label("procopyrightlabel")->text().isEmpty());
            QVERIFY(label("coolabel")->text().contains(proinfowin::kPartnerPage));
        }
    }
};

QTEST_MAIN(ProInfoWinTest)
#include "proinfowin_test.moc"
