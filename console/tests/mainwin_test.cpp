#include "console/shell/flashwin.h"
#include "console/shell/historywin.h"
#include "console/shell/log_records.h"
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/pictures.h"
#include "console/shell/proinfowin.h"
#include "console/shell/referwin.h"
#include "console/shell/settingwin.h"
#include "console/shell/tray.h"
#include "console/shell/usage_figures.h"
#include "console/shell/windows.h"
#include "console/tests/support/elided_texts.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"

#include <QLabel>
#include <QMenu>
#include <QTreeWidget>
#include <QtTest>
#include <unistd.h>

using namespace console;

namespace {

const QByteArray kAttackHeader =
    "#Ostrum attack log\r\n#Version: 1.0\r\n"
    "#Fields: date time cip dip dport host method pos rid action url\r\n"
    "\r\n";
const QByteArray kRunLogHeader = "#Ostrum log\r\n#Version: 1.0\r\n\r\n";

QString todayAttackLog() {
    return QStringLiteral("log/attack%1.log").arg(QDate::currentDate().toString(u"yyyy-MM-dd"));
}

// Record n as the service writes it: the time, then each field after one blank.
QByteArray attackRecord(int n) {
    const QByteArray id = QByteArray::number(n);
    return "2026-12-08 10:00:01  10.0.0." + id +
           " 10.0.0.1 80 www.example.com GET arg_get AR:" + id + " log|block /r" + id + "\r\n";
}

QByteArray attackLog(int records) {
    QByteArray log = kAttackHeader;
    for (int n = 1; n <= records; ++n) {
        log += attackRecord(n);
    }
    return log;
}

QStringList column(const QTreeWidget* list, int index) {
    QStringList cells;
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        cells.append(list->topLevelItem(i)->text(index));
    }
    return cells;
}

QStringList urls(int first, int last) {
    QStringList out;
    for (int n = first; n <= last; ++n) {
        out.append(QStringLiteral("/r%1").arg(n));
    }
    return out;
}

template <class W> W* child(const QWidget& parent, const char* name) {
    return parent.findChild<W*>(QString::fromLatin1(name));
}

QString text(const QWidget& parent, const char* name) {
    const auto* label = child<QLabel>(parent, name);
    return label == nullptr ? QStringLiteral("<missing %1>").arg(QLatin1String(name))
                            : label->text();
}

QStringList headers(const QWidget& parent, const char* name) {
    const auto* list = child<QTreeWidget>(parent, name);
    QStringList out;
    for (int i = 0; list != nullptr && i < list->columnCount(); ++i) {
        out.append(list->headerItem()->text(i));
    }
    return out;
}

void unloadAll() {
    unload<mainwin>();
    unload<flashwin>();
    unload<historywin>();
    unload<settingwin>();
    unload<proinfowin>();
    unload<referWin>();
    unload<adreferWin>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Records whether the tray icon was still there when a window went away.
class HideWatch : public QObject {
public:
    bool hidden = false;
    bool trayShownAtHide = false;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Hide && !hidden) {
            hidden = true;
            trayShownAtHide = trayStateForTest().shown;
        }
        return false;
    }
};

} // namespace

class MainwinTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void attackListShowsTheLatestTenRecords();
    void recordLineFillsTheColumns();
    void malformedRecordsAreSkipped();
    void runLogShowsTheLatestLines();
    void recordLinesAreBounded();
    void stateTableInEveryLanguage();
    void startAndStopChangeTheState();
    void failedStartShowsItsMessage();
    void usageFigures();
    void quitAsksAndRemovesTheTrayFirst();
    void renders();

private:
    std::unique_ptr<testing::ProgramFolder> m_folder;
};

void MainwinTest::init() {
    m_folder = std::make_unique<testing::ProgramFolder>();
    Module& m = module();
    m.uiLanguage = 0;
    m.serviceStopped = true;
    m.serviceInstalled = false;
    m.quitting = false;
    setServiceWaitForTest(0);
}

void MainwinTest::cleanup() {
    unloadAll();
    setQuitForTest({});
    module().quitting = false;
    m_folder.reset();
}

// The blank line after the header is the first numbered line, so 25
// records make 26 and the list starts at record 16.
void MainwinTest::attackListShowsTheLatestTenRecords() {
    m_folder->write(todayAttackLog(), attackLog(25));
    mainwin& status = window<mainwin>();
    auto* list = child<QTreeWidget>(status, "attacklist");
    QVERIFY(list != nullptr);
    QCOMPARE(column(list, 5), urls(16, 25));

    m_folder->write(todayAttackLog(), attackLog(4));
    status.listTimerTick();
    QCOMPARE(column(list, 5), urls(1, 4));

    QVERIFY(QFile::remove(m_folder->file(todayAttackLog())));
    status.listTimerTick();
    QCOMPARE(list->topLevelItemCount(), 0);
}

void MainwinTest::recordLineFillsTheColumns() {
    m_folder->write(todayAttackLog(),
                    kAttackHeader + "2026-12-08 10:00:01 10.0.0.5 10.0.0.1 80 10.0.0.1 GET url "
                                    "AR:7 block /a.asp\r\n");
    mainwin& status = window<mainwin>();
    const auto* list = child<QTreeWidget>(status, "attacklist");
    QCOMPARE(list->topLevelItemCount(), 1);
    const QStringList expected = {
        "2026-12-08 10:00:01", "10.0.0.5", "80", "block", "AR:7", "/a.asp"};
    for (int i = 0; i < expected.size(); ++i) {
        QCOMPARE(list->topLevelItem(0)->text(i), expected[i]);
    }
    QCOMPARE(list->topLevelItem(0)->textAlignment(1) & Qt::AlignHorizontal_Mask,
             int(Qt::AlignHCenter));

    // Surplus fields go to the first group; the others keep the last eight.
    AttackRow row;
    QVERIFY(parseAttackRecord(QStringLiteral("2026-12-08 10:00:01  a b 10.0.0.1 443 h POST "
                                             "arg_post PR:3 log /x?q=1"),
                              row));
    QCOMPARE(row.sourceIp, QStringLiteral("a b"));
    QCOMPARE(row.targetPort, QStringLiteral("443"));
    QCOMPARE(row.ruleId, QStringLiteral("PR:3"));
    QCOMPARE(row.action, QStringLiteral("log"));
    QCOMPARE(row.url, QStringLiteral("/x?q=1"));
}

void MainwinTest::malformedRecordsAreSkipped() {
    const char* malformed[] = {
        "",
        "2026-12-08 10:00:01",
        "2026-12-08 10:00:01 1 2 3 4 5 6 7 8",   // one field short
        "2026-1-08 10:00:01 1 2 3 4 5 6 7 8 9",  // date of the wrong shape
        "2026-12-08T10:00:01 1 2 3 4 5 6 7 8 9", // no blank after the date
        "\x01\x02\xff garbage \xfe",
    };
    for (const char* line : malformed) {
        AttackRow row;
        QVERIFY2(!parseAttackRecord(QString::fromLatin1(line), row), line);
    }
    RunLogRow runRow;
    QVERIFY(!parseRunLogLine(QStringLiteral("ostrum start!"), runRow));
    QVERIFY(!parseRunLogLine(QStringLiteral("2026-12-08 10:00:01"), runRow));

    // Of the last ten numbered lines, those that do not match are left out.
    QByteArray log = attackLog(8);
    log += "not a record\r\n";
    log += attackRecord(9);
    log += "2026-12-08 10:00:01 short line\r\n";
    log += attackRecord(10);
    m_folder->write(todayAttackLog(), log);
    const auto* list = child<QTreeWidget>(window<mainwin>(), "attacklist");
    QCOMPARE(column(list, 5), urls(3, 10));
}

void MainwinTest::runLogShowsTheLatestLines() {
    QByteArray log = kRunLogHeader;
    for (int n = 1; n <= 11; ++n) {
        log += "2026-12-08 10:00:01 line " + QByteArray::number(n) + "\r\n";
    }
    log += "second line of a record\n";            // a record of two lines, LF only
    log += "2026-12-08 10:00:02 \xc6\xf4\xb6\xaf"; // GBK, no line end at the end
    m_folder->write(QStringLiteral("log/ostrum.log"), log);
    const auto* list = child<QTreeWidget>(window<mainwin>(), "runloglist");
    QCOMPARE(list->topLevelItemCount(), 9);
    QCOMPARE(list->topLevelItem(0)->text(1), QStringLiteral("line 4"));
    QCOMPARE(list->topLevelItem(7)->text(1), QStringLiteral("line 11"));
    QCOMPARE(list->topLevelItem(8)->text(0), QStringLiteral("2026-12-08 10:00:02"));
    QCOMPARE(list->topLevelItem(8)->text(1), QString::fromUtf8("启动"));
}

void MainwinTest::recordLinesAreBounded() {
    QCOMPARE(latestRecordLines(m_folder->file(QStringLiteral("log/none.log")), 10), QStringList());
    // An overlong line keeps its place as an empty line and is not read.
    QByteArray log = kRunLogHeader + "2026-12-08 10:00:01 a\r\n";
    log += "2026-12-08 10:00:01 " + QByteArray(5 * 1024 * 1024, 'x') + "\r\n";
    log += "2026-12-08 10:00:01 b\n#comment\r\n2026-12-08 10:00:01 c";
    m_folder->write(QStringLiteral("log/long.log"), log);
    const QStringList lines = latestRecordLines(m_folder->file(QStringLiteral("log/long.log")), 10);
    QCOMPARE(lines, QStringList({"", "2026-12-08 10:00:01 a", "", "2026-12-08 10:00:01 b",
                                 "2026-12-08 10:00:01 c"}));
    QCOMPARE(latestRecordLines(m_folder->file(QStringLiteral("log/long.log")), 2),
             QStringList({"2026-12-08 10:00:01 b", "2026-12-08 10:00:01 c"}));
}

void MainwinTest::stateTableInEveryLanguage() {
    struct Row {
        bool installed;
        bool stopped;
        const char* state[3];
        QColor colour;
        const char* button[3]; // nullptr: the text stays as it was
    };
    const Row rows[] = {
        {true,
         true,
         {"OFF", "已停止", "已停止"},
         QColor(255, 0, 0),
         {"Start Ostrum", "启动Ostrum", "啟動Ostrum"}},
        {true,
         false,
         {"ON", "运行中", "運行中"},
         QColor(0, 0, 255),
         {"Stop Ostrum", "停止Ostrum", "停止Ostrum"}},
        {false,
         true,
         {"Ostrum Not Installed", "Ostrum未安装", "Ostrum未安裝"},
         QColor(255, 0, 0),
         {nullptr, nullptr, nullptr}},
    };
    mainwin& status = window<mainwin>();
    auto* state = child<QLabel>(status, "nowstatelabel");
    auto* button = child<QLabel>(status, "sctllabel");
    for (int language = 0; language < 3; ++language) {
        for (const Row& row : rows) {
            module().uiLanguage = language;
            module().serviceInstalled = row.installed;
            module().serviceStopped = row.stopped;
            const QString before = button->text();
            status.paintCaptions();
            QCOMPARE(state->text(), QString::fromUtf8(row.state[language]));
            QCOMPARE(state->palette().color(QPalette::WindowText), row.colour);
            QCOMPARE(button->text(),
                     row.button[language] ? QString::fromUtf8(row.button[language]) : before);
            QCOMPARE(button->isEnabled(), row.installed);
        }
    }

    // Not installed: the button neither lights up nor starts anything.
    testing::MessageRecorder recorder;
    auto* image = child<QLabel>(status, "sctlbtn");
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(image, &move);
    QCOMPARE(image->pixmap().toImage(), picture(QStringLiteral("btn4w")).toImage());
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(recorder.messages().isEmpty());
    module().serviceInstalled = true;
    status.paintCaptions();
    QCoreApplication::sendEvent(image, &move);
    QCOMPARE(image->pixmap().toImage(), picture(QStringLiteral("btn4wfocus")).toImage());
}

void MainwinTest::startAndStopChangeTheState() {
    QVERIFY(m_folder->installService());
    module().serviceInstalled = isServiceInstalled(kServiceName);
    module().serviceStopped = isServiceStopped(kServiceName);
    QVERIFY(module().serviceInstalled && module().serviceStopped);
    testing::MessageRecorder recorder;
    mainwin& status = window<mainwin>();
    QCOMPARE(trayStateForTest().iconId, kIconStopped);
    auto* button = child<QLabel>(status, "sctllabel");

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY2(recorder.messages().isEmpty(), qPrintable(recorder.texts().join('\n')));
    QVERIFY(!module().serviceStopped);
    QVERIFY(!isServiceStopped(kServiceName));
    QCOMPARE(text(status, "nowstatelabel"), QStringLiteral("ON"));
    QCOMPARE(button->text(), QStringLiteral("Stop Ostrum"));
    QCOMPARE(trayStateForTest().iconId, kIconRunning);
    QCOMPARE(status.cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(button->cursor().shape(), Qt::PointingHandCursor);

    // The service's own run log shows in the list at the next tick.
    QTRY_VERIFY(m_folder->read(QStringLiteral("log/ostrum.log")).contains("start"));
    status.listTimerTick();
    QVERIFY(child<QTreeWidget>(status, "runloglist")->topLevelItemCount() > 0);

    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(recorder.messages().isEmpty());
    QVERIFY(module().serviceStopped);
    QVERIFY(isServiceStopped(kServiceName));
    QCOMPARE(text(status, "nowstatelabel"), QStringLiteral("OFF"));
    QCOMPARE(button->text(), QStringLiteral("Start Ostrum"));
    QCOMPARE(trayStateForTest().iconId, kIconStopped);
}

void MainwinTest::failedStartShowsItsMessage() {
    QVERIFY(m_folder->installStandIn(QStringLiteral("/bin/true")));
    module().serviceInstalled = true;
    module().serviceStopped = true;
    testing::MessageRecorder recorder;
    mainwin& status = window<mainwin>();
    auto* button = child<QLabel>(status, "sctllabel");
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(recorder.texts(), QStringList{QStringLiteral("Failed to Start Ostrum!")});
    QCOMPARE(recorder.messages().first().title, QStringLiteral("Ostrum Console"));
    QCOMPARE(recorder.messages().first().buttons, MessageButtons::Ok);
    QVERIFY(module().serviceStopped);
    QCOMPARE(text(status, "nowstatelabel"), QStringLiteral("OFF"));
    QCOMPARE(trayStateForTest().iconId, kIconStopped);

    module().uiLanguage = 2;
    recorder.clear();
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(recorder.texts(), QStringList{QString::fromUtf8("啟動Ostrum失敗!")});
    QCOMPARE(recorder.messages().first().title, QStringLiteral("Ostrum Console"));
}

void MainwinTest::usageFigures() {
    using std::chrono::seconds;
    QCOMPARE(cpuPercent(seconds(1), seconds(2), 1), 50.0);
    QCOMPARE(cpuPercent(seconds(4), seconds(2), 4), 50.0);
    QCOMPARE(cpuPercent(seconds(3), seconds(2), 1), 0.0);  // above 100
    QCOMPARE(cpuPercent(-seconds(1), seconds(2), 1), 0.0); // below 0
    QCOMPARE(cpuPercent(seconds(1), seconds(0), 1), 0.0);
    QCOMPARE(cpuFigureText(2.5), QStringLiteral("2%"));
    QCOMPARE(cpuFigureText(3.5), QStringLiteral("4%"));
    QCOMPARE(cpuFigureText(99.6), QStringLiteral("100%"));
    QCOMPARE(cpuFigureText(0), QStringLiteral("0%"));

    // The first sample of a process, and one that cannot be read, give 0.
    CpuUsage usage;
    QCOMPARE(usage.sample(getpid()), 0.0);
    QCOMPARE(usage.sample(0), 0.0);
    QCOMPARE(usage.sample(getpid()), 0.0);

    mainwin& status = window<mainwin>();
    status.usageTimerTick();
    QVERIFY(QRegularExpression(QStringLiteral("^[\\d,.]+ K$"))
                .match(text(status, "memperclabel"))
                .hasMatch());
    QVERIFY(QRegularExpression(QStringLiteral("^\\d{1,3}%$"))
                .match(text(status, "cpuperclabel"))
                .hasMatch());
    QVERIFY(child<QTimer>(status, "usageTimer")->isActive());
}

void MainwinTest::quitAsksAndRemovesTheTrayFirst() {
    module().uiLanguage = 2;
    int exitCode = 0;
    setQuitForTest([&exitCode](int code) { exitCode = code; });
    testing::MessageRecorder recorder;
    window<flashwin>();
    window<historywin>();
    window<settingwin>();
    window<proinfowin>();
    window<referWin>();
    window<adreferWin>();
    mainwin& status = window<mainwin>();
    QCOMPARE(trayStateForTest().menu, status.mainMenu(2));
    QCOMPARE(trayStateForTest().tip, QString::fromUtf8("Ostrum 控制臺"));
    HideWatch watch;
    window<flashwin>().installEventFilter(&watch);
    window<flashwin>().show();
    QAction* quit = status.findChild<QAction*>(QStringLiteral("Quit2"));
    QVERIFY(quit != nullptr);

    recorder.answerNext(MessageAnswer::No);
    quit->trigger();
    QCOMPARE(recorder.texts(), QStringList{QString::fromUtf8("點擊退出.")});
    QCOMPARE(recorder.messages().first().title, QString::fromUtf8("Ostrum 控制臺"));
    QCOMPARE(recorder.messages().first().buttons, MessageButtons::YesNo);
    QVERIFY(trayStateForTest().shown);
    QVERIFY(isLoaded<mainwin>() && isLoaded<historywin>());
    QCOMPARE(exitCode, 0);

    status.findChild<QAction*>(QStringLiteral("Quit0"))->trigger(); // answered Yes
    QCOMPARE(exitCode, 1);
    QVERIFY(module().quitting);
    QVERIFY(watch.hidden);
    QVERIFY(!watch.trayShownAtHide);
    QVERIFY(!trayStateForTest().shown);
    QVERIFY(!isLoaded<flashwin>() && !isLoaded<historywin>() && !isLoaded<settingwin>());
    QVERIFY(!isLoaded<proinfowin>() && !isLoaded<referWin>() && !isLoaded<mainwin>());
    QVERIFY(!isLoaded<adreferWin>());
}

void MainwinTest::renders() {
    struct Expected {
        const char* name;
        const char* texts[3];
    };
    const Expected labels[] = {
        {"statelabel", {"State", "当前状态", "當前狀態"}},
        {"historylabel", {"History", "查看历史", "查看歷史"}},
        {"settinglabel", {"Settings", "参数配置", "參數配置"}},
        {"advlabel", {"Advanced", "高级配置", "高級配置"}},
        {"proinfolabel", {"About", "产品信息", "產品信息"}},
        {"attacklistlabel", {"Intrusion Event List:", "入侵事件列表:", "入侵事件列表:"}},
        {"runloglistlabel", {"Logs:", "运行日志列表:", "歷史記錄列表:"}},
        {"cpuperctip", {"CPU Occupation:", "CPU使用率:", "CPU使用率:"}},
        {"memperctip", {"Memory Occupation:", "内存使用量:", "記憶體使用量:"}},
        {"stateframe", {"State:", "运行状态:", "運行狀態:"}},
        {"nowstatelabel", {"ON", "运行中", "運行中"}},
        {"sctllabel", {"Stop Ostrum", "停止Ostrum", "停止Ostrum"}},
    };
    const char* titles[3] = {"Ostrum Console - State", "Ostrum控制台 - 当前状态",
                             "Ostrum控制臺 - 當前狀態"};
    const char* attackHeaders[3][6] = {
        {"Time", "Source IP", "Target Port", "Action", "Rule ID", "Target URL"},
        {"时间", "源IP", "目标端口", "处理方式", "规则ID", "目标URL"},
        {"時間", "IP來源", "目標端口", "處理方法", "規則ID", "目標URL"}};
    const char* runHeaders[3][2] = {{"Time", "Content"}, {"时间", "内容"}, {"時間", "內容"}};
    const char* menus[3][2] = {{"MainMenu", "Quit"}, {"主菜单", "退出"}, {"主菜單", "退出"}};

    m_folder->write(todayAttackLog(), attackLog(12));
    m_folder->write(QStringLiteral("log/ostrum.log"),
                    kRunLogHeader + "2026-12-08 10:00:01 ostrum start!\r\n");
    module().serviceInstalled = true;
    module().serviceStopped = false;
    mainwin& status = window<mainwin>();
    status.show();
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        status.paintCaptions();
        QCOMPARE(status.windowTitle(), QString::fromUtf8(titles[language]));
        for (const Expected& label : labels) {
            QCOMPARE(text(status, label.name), QString::fromUtf8(label.texts[language]));
        }
        QStringList attack, run;
        for (const char* h : attackHeaders[language]) {
            attack.append(QString::fromUtf8(h));
        }
        for (const char* h : runHeaders[language]) {
            run.append(QString::fromUtf8(h));
        }
        QCOMPARE(headers(status, "attacklist"), attack);
        QCOMPARE(headers(status, "runloglist"), run);
        const QMenu* menu = status.mainMenu(language);
        QCOMPARE(menu->objectName(), QStringLiteral("MainMenu%1").arg(language));
        QCOMPARE(menu->title(), QString::fromUtf8(menus[language][0]));
        QCOMPARE(menu->actions().first()->text(), QString::fromUtf8(menus[language][1]));
        QVERIFY(status.grab().save(testing::renderFolder() +
                                   QStringLiteral("mainwin-%1.png").arg(language)));
        QCOMPARE(testing::elidedTexts(status), QStringList());
    }
}

QTEST_MAIN(MainwinTest)
#include "mainwin_test.moc"
