#include "console/shell/attack_log_reader.h"
#include "console/shell/historywin.h"
#include "console/shell/logselwin.h"
#include "console/shell/module.h"
#include "console/shell/pictures.h"
#include "console/shell/windows.h"
#include "console/tests/support/elided_texts.h"
#include "console/tests/support/program_folder.h"

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using console::historywin;
using console::logselWin;
using console::testing::ProgramFolder;

namespace {

// The header the service writes when it opens a day's file again: no blank line.
const QByteArray kHeader = "#Ostrum attack log\r\n#Version: 1.0\r\n#Date: 2026-12-09\r\n"
                           "#Fields: date time cip dip dport host method pos rid action url\r\n";

QByteArray record(int n) {
    return "2026-12-09 10:00:" + QByteArray::number(n % 60).rightJustified(2, '0') + " 192.168.1." +
           QByteArray::number(n % 250) +
           " 10.0.0.1 80 www.example.com GET QueryString AR:" + QByteArray::number(n) +
           " block /page?n=" + QByteArray::number(n) + "\r\n";
}

QByteArray attackLog(int records) {
    QByteArray content = kHeader;
    for (int n = 1; n <= records; ++n) {
        content += record(n);
    }
    return content;
}

QTreeWidget* loglist() {
    return console::window<historywin>().findChild<QTreeWidget*>(QStringLiteral("loglist"));
}

QComboBox* pageList() {
    return console::window<historywin>().findChild<QComboBox*>(QStringLiteral("pageList"));
}

QStringList pages() {
    QStringList out;
    for (int i = 0; i < pageList()->count(); ++i) {
        out.append(pageList()->itemText(i));
    }
    return out;
}

QStringList rowTexts(int row) {
    QStringList out;
    QTreeWidgetItem* item = loglist()->topLevelItem(row);
    for (int column = 0; item != nullptr && column < loglist()->columnCount(); ++column) {
        out.append(item->text(column));
    }
    return out;
}

void moveOver(QWidget* widget, QPoint pos) {
    QMouseEvent move(QEvent::MouseMove, pos, widget->mapToGlobal(pos), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(widget, &move);
}

// Acts in the chooser once sellogLabel has shown it: double-clicks the file,
// or presses Close for an empty name.
void actInChooser(const QString& name) {
    logselWin* chooser = &console::window<logselWin>();
    QCOMPARE(chooser->parentWidget(), &console::window<historywin>());
    QVERIFY(chooser->windowModality() != Qt::NonModal);
    if (name.isEmpty()) {
        QTest::mouseClick(chooser->findChild<QLabel*>(QStringLiteral("cancelLabel")),
                          Qt::LeftButton);
        return;
    }
    auto* files = chooser->findChild<QListWidget*>(QStringLiteral("logfilelist"));
    const QList<QListWidgetItem*> found = files->findItems(name, Qt::MatchExactly);
    QCOMPARE(found.size(), 1);
    files->setCurrentItem(found[0]);
    const QPoint at = files->visualItemRect(found[0]).center();
    QTest::mouseClick(files->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(files->viewport(), Qt::LeftButton, {}, at);
}

void chooseInDialog(const QString& name) {
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&poll, name] {
        if (console::isLoaded<logselWin>() && console::window<logselWin>().isVisible()) {
            poll.stop();
            actInChooser(name);
            // A failed step leaves the chooser open: end it so the test goes on.
            console::unload<logselWin>();
        }
    });
    poll.start(10);
    QTest::mouseClick(
        console::window<historywin>().findChild<QLabel*>(QStringLiteral("sellogLabel")),
        Qt::LeftButton);
    QVERIFY(!console::isLoaded<logselWin>());
}

} // namespace

class HistoryWinTest : public QObject {
    Q_OBJECT
private slots:
    void cleanup() {
        console::unload<logselWin>();
        console::unload<historywin>();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        console::module().uiLanguage = 0;
    }

    void pageCountIsTheQuotientRoundedUp() {
        QCOMPARE(console::pageCount(0), 0);
        QCOMPARE(console::pageCount(1), 1);
        QCOMPARE(console::pageCount(200), 1);
        QCOMPARE(console::pageCount(201), 2);
        QCOMPARE(console::pageCount(450), 3);
        QCOMPARE(console::pageCount(std::numeric_limits<qint32>::max()), 10737419);
    }

    void aLogOf450RecordsHasThreePages() {
        ProgramFolder folder;
        folder.write(QStringLiteral("log/attack2026-12-09.log"), attackLog(450));
        historywin& history = console::window<historywin>();
        QCOMPARE(loglist()->topLevelItemCount(), 0);
        QCOMPARE(pageList()->count(), 0);

        chooseInDialog(QStringLiteral("attack2026-12-09.log"));
        QCOMPARE(history.logfilename_now, QStringLiteral("attack2026-12-09.log"));
        QCOMPARE(history.findChild<QLabel*>(QStringLiteral("nowlogfTip"))->text(),
                 QStringLiteral("Now: attack2026-12-09.log"));
        QCOMPARE(pages(), (QStringList{"1", "2", "3"}));
        QCOMPARE(pageList()->currentText(), QStringLiteral("1"));
        QCOMPARE(loglist()->topLevelItemCount(), 200);
        QCOMPARE(rowTexts(0).last(), QStringLiteral("/page?n=1"));

        pageList()->setCurrentIndex(1);
        QCOMPARE(loglist()->topLevelItemCount(), 200);
        QCOMPARE(rowTexts(0).last(), QStringLiteral("/page?n=201"));
        pageList()->setCurrentIndex(2);
        QCOMPARE(loglist()->topLevelItemCount(), 50);
        QCOMPARE(rowTexts(0).last(), QStringLiteral("/page?n=401"));
        QCOMPARE(rowTexts(49).last(), QStringLiteral("/page?n=450"));
    }

    void pageEdgesAndTheBlankLineAfterAHeader() {
        ProgramFolder folder;
        folder.write(QStringLiteral("log/attack2026-12-01.log"), attackLog(200));
        folder.write(QStringLiteral("log/attack2026-12-02.log"), attackLog(201));
        // A new file's header ends with a blank line, which is record 1.
        folder.write(QStringLiteral("log/attack2026-12-03.log"),
                     "#Ostrum attack log\r\n#Version: 1.0\r\n#Fields: date time\r\n\r\n");
        historywin& history = console::window<historywin>();

        history.logfilename_now = QStringLiteral("attack2026-12-01.log");
        history.showlogs();
        QCOMPARE(pages(), QStringList{"1"});
        QCOMPARE(loglist()->topLevelItemCount(), 200);

        history.logfilename_now = QStringLiteral(" attack2026-12-02.log ");
        history.showlogs();
        QCOMPARE(pages(), (QStringList{"1", "2"}));
        pageList()->setCurrentIndex(1);
        QCOMPARE(loglist()->topLevelItemCount(), 1);
        QCOMPARE(rowTexts(0).last(), QStringLiteral("/page?n=201"));

        history.logfilename_now = QStringLiteral("attack2026-12-03.log");
        history.showlogs();
        QCOMPARE(pages(), QStringList{"1"});
        QCOMPARE(loglist()->topLevelItemCount(), 0);

        // A file gone since it was chosen: no pages, the rows stay.
        history.logfilename_now = QStringLiteral("attack2026-12-02.log");
        history.showlogs();
        QFile::remove(folder.file(QStringLiteral("log/attack2026-12-02.log")));
        history.showlogs();
        QCOMPARE(pageList()->count(), 0);
        QCOMPARE(loglist()->topLevelItemCount(), 200);
    }

    // A user's choice of the page shown reads it again; one of another page
    // (its change, then its activation) shows that page.
    void choosingTheShownPageAgainReadsIt() {
        ProgramFolder folder;
        const QString name = QStringLiteral("log/attack2026-12-09.log");
        folder.write(name, attackLog(205));
        historywin& history = console::window<historywin>();
        history.logfilename_now = QStringLiteral("attack2026-12-09.log");
        history.showlogs();
        QCOMPARE(pages(), (QStringList{"1", "2"}));
        pageList()->setCurrentIndex(1);
        emit pageList()->activated(1);
        QCOMPARE(loglist()->topLevelItemCount(), 5);

        QByteArray more;
        for (int n = 206; n <= 210; ++n) {
            more += record(n);
        }
        QFile log(folder.file(name));
        QVERIFY(log.open(QIODevice::Append));
        log.write(more);
        log.close();
        QCOMPARE(loglist()->topLevelItemCount(), 5);
        emit pageList()->activated(1);
        QCOMPARE(loglist()->topLevelItemCount(), 10);
        QCOMPARE(rowTexts(9)[7], QStringLiteral("AR:210"));
        QCOMPARE(pages(), (QStringList{"1", "2"}));
    }

    void recordFieldsFillTheColumns() {
        QStringList fields;
        QVERIFY(console::parseAttackRecord(
            QStringLiteral("2026-12-09 10:11:12 1.2.3.4 5.6.7.8 80 www.a.com GET QueryString "
                           "AR:1001 block /a.php?id=1%20or%201=1"),
            fields));
        QCOMPARE(fields,
                 (QStringList{"2026-12-09 10:11:12", "1.2.3.4", "5.6.7.8", "80", "www.a.com", "GET",
                              "QueryString", "AR:1001", "block", "/a.php?id=1%20or%201=1"}));
        // A blank in the URL: the surplus word joins the client address and
        // every later column shows the field after its own.
        QVERIFY(console::parseAttackRecord(
            QStringLiteral("2026-12-09 10:11:12 1.2.3.4 5.6.7.8 80 www.a.com POST Body PR:7 log "
                           "/x y"),
            fields));
        QCOMPARE(fields, (QStringList{"2026-12-09 10:11:12", "1.2.3.4 5.6.7.8", "80", "www.a.com",
                                      "POST", "Body", "PR:7", "log", "/x", "y"}));
        for (const char* malformed :
             {"", "garbage", "#Fields: date time", "2026-12-09 10:11:12 too few fields here",
              "2026-12-9 10:11:12 a b c d e f g h i", "10:11:12 2026-12-09 a b c d e f g h i"}) {
            QVERIFY2(!console::parseAttackRecord(QString::fromLatin1(malformed), fields),
                     malformed);
        }
    }

    void malformedLinesTakeAPlaceWithoutARow() {
        ProgramFolder folder;
        QByteArray content = kHeader + record(1) + "garbage\r\n" + QByteArray(5 << 20, 'x') +
                             "\r\n\r\n" + record(5) + "no line end at all";
        folder.write(QStringLiteral("log/attack2026-12-09.log"), content);
        historywin& history = console::window<historywin>();
        history.logfilename_now = QStringLiteral("attack2026-12-09.log");
        history.showlogs();
        QCOMPARE(pages(), QStringList{"1"});
        QCOMPARE(loglist()->topLevelItemCount(), 2);
        QCOMPARE(rowTexts(1)[7], QStringLiteral("AR:5"));
        QList<QStringList> rows;
        QVERIFY(console::readAttackLogPage(folder.file(QStringLiteral("log/attack2026-12-09.log")),
                                           2, rows));
        QVERIFY(rows.isEmpty());
        QVERIFY(!console::readAttackLogPage(folder.file(QStringLiteral("log/none.log")), 1, rows));
    }

    void theChooserListsAttackLogsOnly() {
        ProgramFolder folder;
        for (const char* name : {"attack2026-12-02.log", "attack2026-12-01.log", "Attack2026.log",
                                 "detail2026-12-01.log", "ostrum.log", "attackx"}) {
            folder.write(QStringLiteral("log/") + QLatin1String(name), attackLog(1));
        }
        logselWin& chooser = console::window<logselWin>();
        QCOMPARE(chooser.windowTitle(), QStringLiteral("Log File List"));
        QCOMPARE(chooser.findChild<QLabel*>(QStringLiteral("cancelLabel"))->text(),
                 QStringLiteral("Close"));
        auto* files = chooser.findChild<QListWidget*>(QStringLiteral("logfilelist"));
        QStringList names;
        for (int i = 0; i < files->count(); ++i) {
            names.append(files->item(i)->text());
        }
        QCOMPARE(names, (QStringList{"attack2026-12-01.log", "attack2026-12-02.log", "attackx"}));
        // The chooser's captions are the same in every language.
        for (int language = 0; language < 3; ++language) {
            console::module().uiLanguage = language;
            QVERIFY(chooser.grab().save(console::testing::renderFolder() +
                                        QStringLiteral("logselWin-%1.png").arg(language)));
            QCOMPARE(console::testing::elidedTexts(chooser), QStringList());
            QCOMPARE(chooser.windowTitle(), QStringLiteral("Log File List"));
        }
        console::unload<logselWin>();

        // Without a log/ folder the list stays empty.
        QDir(folder.file(QStringLiteral("log"))).removeRecursively();
        QCOMPARE(console::window<logselWin>()
                     .findChild<QListWidget*>(QStringLiteral("logfilelist"))
                     ->count(),
                 0);
    }

    void choosingAnotherFileAndClosingTheChooser() {
        ProgramFolder folder;
        folder.write(QStringLiteral("log/attack2026-12-01.log"), attackLog(450));
        folder.write(QStringLiteral("log/attack2026-12-02.log"), attackLog(3));
        chooseInDialog(QStringLiteral("attack2026-12-01.log"));
        pageList()->setCurrentIndex(2);
        chooseInDialog(QStringLiteral("attack2026-12-02.log"));
        QCOMPARE(pages(), QStringList{"1"});
        QCOMPARE(loglist()->topLevelItemCount(), 3);
        QCOMPARE(
            console::window<historywin>().findChild<QLabel*>(QStringLiteral("nowlogfTip"))->text(),
            QStringLiteral("Now: attack2026-12-02.log"));

        chooseInDialog(QString());
        QCOMPARE(console::window<historywin>().logfilename_now,
                 QStringLiteral("attack2026-12-02.log"));
        QCOMPARE(loglist()->topLevelItemCount(), 3);
    }

    void hoverOverTheListPutsTheNormalPictureBack() {
        ProgramFolder folder;
        historywin& history = console::window<historywin>();
        auto* image = history.findChild<QLabel*>(QStringLiteral("sellogBtn"));
        const qint64 focus = console::picture(QStringLiteral("btn6wfocus")).cacheKey();
        moveOver(history.findChild<QLabel*>(QStringLiteral("sellogLabel")), QPoint(3, 3));
        QCOMPARE(image->pixmap().cacheKey(), focus);
        moveOver(loglist()->viewport(), QPoint(20, 20));
        QCOMPARE(image->pixmap().cacheKey(), console::picture(QStringLiteral("btn6w")).cacheKey());
        moveOver(history.findChild<QLabel*>(QStringLiteral("sellogLabel")), QPoint(3, 3));
        moveOver(&history, QPoint(history.width() - 3, 3));
        QCOMPARE(image->pixmap().cacheKey(), console::picture(QStringLiteral("btn6w")).cacheKey());
    }

    void rendersInEachLanguage() {
        ProgramFolder folder;
        folder.write(QStringLiteral("log/attack2026-12-09.log"), attackLog(5));
        historywin& history = console::window<historywin>();
        history.logfilename_now = QStringLiteral("attack2026-12-09.log");
        history.showlogs();
        const struct {
            const char* title;
            const char* sellog;
            const char* page;
            QStringList headers;
        } languages[] = {
            {"Ostrum Console - History",
             "Select a Log File",
             "Page",
             {"Time", "Source IP", "Dest IP", "Dest Port", "HOST", "METHOD", "Positon", "Rule ID",
              "Action", "URL"}},
            {"Ostrum控制台 - 查看历史",
             "选择日志文件",
             "页码",
             {"时间", "源IP", "目的IP", "目的端口", "HOST", "METHOD", "位置", "规则ID", "处理方式",
              "URL"}},
            {"Ostrum控制臺 - 查看歷史",
             "開啟檔案:",
             "頁碼",
             {"時間", "IP來源", "目的IP", "目的端口", "HOST", "METHOD", "位置", "規則ID",
              "處理方式", "URL"}},
        };
        const int widths[] = {133, 133, 133, 133, 100, 100, 100, 100, 100, 200};
        for (int language = 0; language < 3; ++language) {
            console::module().uiLanguage = language;
            history.grab();
            const QPixmap picture = history.grab();
            QVERIFY(picture.save(console::testing::renderFolder() +
                                 QStringLiteral("historywin-%1.png").arg(language)));
            QCOMPARE(console::testing::elidedTexts(history), QStringList());
            const auto& expected = languages[language];
            QCOMPARE(history.windowTitle(), QString::fromUtf8(expected.title));
            QCOMPARE(history.findChild<QLabel*>(QStringLiteral("sellogLabel"))->text(),
                     QString::fromUtf8(expected.sellog));
            QCOMPARE(history.findChild<QLabel*>(QStringLiteral("pageLabel"))->text(),
                     QString::fromUtf8(expected.page));
            QVERIFY(!history.findChild<QLabel*>(QStringLiteral("pageTipLabel"))->text().isEmpty());
            for (int column = 0; column < 10; ++column) {
                QCOMPARE(loglist()->headerItem()->text(column), expected.headers[column]);
                QVERIFY(loglist()->columnWidth(column) >= widths[column]);
            }
        }
    }
};

QTEST_MAIN(HistoryWinTest)
#include "historywin_test.moc"
