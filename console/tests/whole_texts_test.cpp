// Every window of the console, in each language, at the default font: no
// caption, button text, column header or list cell is cut.
#include "console/editors/blistwin.h"
#include "console/editors/cl.h"
#include "console/editors/clwin.h"
#include "console/editors/crule.h"
#include "console/editors/crulewin.h"
#include "console/editors/jrule.h"
#include "console/editors/jrulewin.h"
#include "console/editors/mantype.h"
#include "console/editors/wlistwin.h"
#include "console/shell/flashwin.h"
#include "console/shell/historywin.h"
#include "console/shell/logselwin.h"
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/proinfowin.h"
#include "console/shell/restartwin.h"
#include "console/shell/settingwin.h"
#include "console/shell/windows.h"
#include "console/tests/support/elided_texts.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"

#include <QDate>
#include <QLabel>
#include <QtTest>

using namespace console;

namespace {

const QByteArray kHeader =
    "#Ostrum attack log\r\n#Version: 1.0\r\n"
    "#Fields: date time cip dip dport host method pos rid action url\r\n\r\n";

// Records as the service writes them, with the longer fields a real log holds.
QByteArray attackLog() {
    return kHeader +
           "2026-12-06 00:00:00 192.168.100.200 10.0.0.1 8080 www.example.com GET QueryString "
           "AR:1001 block /index.php?id=1%20union%20select\r\n"
           "2026-12-06 23:59:59 2001:db8:85a3:0:0:8a2e:370:7334 2001:db8::1 443 shop.example.com "
           "POST Body PR:2147483647 Block&Log /cart/checkout\r\n";
}

QString todayLog() {
    return QStringLiteral("log/attack%1.log").arg(QDate::currentDate().toString(u"yyyy-MM-dd"));
}

// The window in each language: its paint sets its captions, then every
// text is measured.
QStringList cutTexts(QWidget& window, const QString& name) {
    window.show();
    QStringList cut;
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        (void)window.grab();
        if (!window.grab().save(testing::renderFolder() +
                                QStringLiteral("whole-%1-%2.png").arg(name).arg(language))) {
            cut.append(name + QStringLiteral(": no render"));
        }
        for (const QString& text : testing::elidedTexts(window)) {
            cut.append(QStringLiteral("%1/%2 %3").arg(name).arg(language).arg(text));
        }
    }
    return cut;
}

template <class W> QStringList cutTexts(const char* name) {
    const QStringList cut = cutTexts(window<W>(), QString::fromLatin1(name));
    unload<W>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return cut;
}

} // namespace

class WholeTextsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void mainWindowsInEveryState();
    void historyWithRecords();
    void dialogsOfTheShell();
    void advancedWindows();

private:
    std::unique_ptr<testing::ProgramFolder> m_folder;
};

void WholeTextsTest::init() {
    m_folder = std::make_unique<testing::ProgramFolder>();
    m_folder->write(todayLog(), attackLog());
    m_folder->write(QStringLiteral("log/attack2026-12-06.log"), attackLog());
    m_folder->write(QStringLiteral("log/ostrum.log"),
                    "#Ostrum log\r\n\r\n2026-12-06 00:00:00 Ostrum service started, "
                    "version 1.0\r\n");
}

void WholeTextsTest::cleanup() {
    module().uiLanguage = 0;
    m_folder.reset();
}

void WholeTextsTest::mainWindowsInEveryState() {
    QStringList cut;
    const bool states[][2] = {{true, true}, {true, false}, {false, true}};
    for (const auto& state : states) {
        module().serviceInstalled = state[0];
        module().serviceStopped = state[1];
        // The widest figures the labels show.
        window<mainwin>()
            .findChild<QLabel*>(QStringLiteral("memperclabel"))
            ->setText(QStringLiteral("12,345,678.9 K"));
        window<mainwin>()
            .findChild<QLabel*>(QStringLiteral("cpuperclabel"))
            ->setText(QStringLiteral("100%"));
        cut += cutTexts<mainwin>("mainwin");
    }
    cut += cutTexts<settingwin>("settingwin");
    cut += cutTexts<proinfowin>("proinfowin");
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

void WholeTextsTest::historyWithRecords() {
    historywin& history = window<historywin>();
    history.logfilename_now = QStringLiteral("attack2026-12-06.log");
    history.findChild<QLabel*>(QStringLiteral("nowlogfTip"))
        ->setText(QStringLiteral("Now: attack2026-12-06.log"));
    history.showlogs();
    const QStringList cut = cutTexts<historywin>("historywin");
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

void WholeTextsTest::dialogsOfTheShell() {
    QStringList cut = cutTexts<logselWin>("logselWin");
    for (const char* text :
         {"Loading data, please wait...", "正在加载数据，请稍候...", "正在停止Ostrum,請稍候..."}) {
        window<flashwin>().tiplabel()->setText(QString::fromUtf8(text));
        cut += cutTexts(window<flashwin>(), QStringLiteral("flashwin"));
    }
    unload<flashwin>();
    restartwin restart(nullptr);
    for (const char* text :
         {"Restarting Ostrum now...", "Stopping Ostrum now ...", "Starting Ostrum now ..."}) {
        restart.tiplabel()->setText(QString::fromUtf8(text));
        cut += cutTexts(restart, QStringLiteral("restartwin"));
    }
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

void WholeTextsTest::advancedWindows() {
    testing::MessageRecorder recorder;
    QStringList cut;
    cut += cutTexts<crulewin>("crulewin");
    cut += cutTexts<jrulewin>("jrulewin");
    cut += cutTexts<clwin>("clwin");
    cut += cutTexts<blistwin>("blistwin");
    cut += cutTexts<wlistwin>("wlistwin");
    cut += cutTexts<crule>("crule");
    cut += cutTexts<jrule>("jrule");
    cut += cutTexts<mantype>("mantype");
    cut += cutTexts<cl>("cl");
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QLatin1Char('\n'))));
}

QTEST_MAIN(WholeTextsTest)
#include "whole_texts_test.moc"
