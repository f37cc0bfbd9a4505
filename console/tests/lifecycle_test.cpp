// How the console ends and how it is found again: the close box on a desktop
// without a notification area, a refused second start, the order of Quit.
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
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/proinfowin.h"
#include "console/shell/referwin.h"
#include "console/shell/settingwin.h"
#include "console/shell/single_instance.h"
#include "console/shell/switching.h"
#include "console/shell/tray.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>
#include <fcntl.h>

using namespace console;

namespace {

// A start of the program on a busy machine takes seconds; this only bounds
// the wait when something is wrong.
constexpr int kStartBound = 90000;

void unloadMainWindows() {
    unload<mainwin>();
    unload<historywin>();
    unload<settingwin>();
    unload<proinfowin>();
    unload<referWin>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Descriptors of this process that a started program would inherit.
int inheritableDescriptors() {
    int count = 0;
    for (const QString& name :
         QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System)) {
        const int flags = fcntl(name.toInt(), F_GETFD);
        if (flags >= 0 && (flags & FD_CLOEXEC) == 0) {
            ++count;
        }
    }
    return count;
}

template <class W> void loadAndWatch(QStringList& order, const char* name) {
    QObject::connect(&window<W>(), &QObject::destroyed,
                     [&order, name] { order.append(QString::fromLatin1(name)); });
}

} // namespace

class LifecycleTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void closeWithoutTrayAsksToQuit();
    void closeWithTrayHides();
    void secondStartShowsTheStatusWindow();
    void quitUnloadsInItsOrder();
    void aSecondProgramStartShowsTheRunningConsole();

private:
    std::unique_ptr<testing::ProgramFolder> m_folder;
    int m_exitCode = 0;
};

void LifecycleTest::init() {
    m_folder = std::make_unique<testing::ProgramFolder>();
    Module& m = module();
    m.uiLanguage = 0;
    m.serviceInstalled = false;
    m.quitting = false;
    m.windowHidden = false;
    m_exitCode = 0;
    setQuitForTest([this](int code) { m_exitCode = code; });
}

void LifecycleTest::cleanup() {
    unloadMainWindows();
    setQuitForTest({});
    setTrayAvailableForTest(std::nullopt);
    module().quitting = false;
    module().windowHidden = false;
    m_folder.reset();
}

void LifecycleTest::closeWithoutTrayAsksToQuit() {
    setTrayAvailableForTest(false);
    module().uiLanguage = 1;
    testing::MessageRecorder recorder;
    window<mainwin>();
    historywin& history = window<historywin>();
    history.show();

    recorder.answerNext(MessageAnswer::No);
    QVERIFY(!history.close());
    QCOMPARE(recorder.texts(), QStringList{QString::fromUtf8("点击退出.")});
    QCOMPARE(recorder.messages().first().title, QString::fromUtf8("Ostrum 控制台"));
    QCOMPARE(recorder.messages().first().buttons, MessageButtons::YesNo);
    QVERIFY(history.isVisible());
    QVERIFY(!module().windowHidden && !module().quitting);
    QCOMPARE(m_exitCode, 0);

    // Yes: the console ends as Quit ends it.
    history.close();
    QCOMPARE(recorder.messages().size(), 2);
    QVERIFY(module().quitting);
    QCOMPARE(m_exitCode, 1);
    QVERIFY(!isLoaded<historywin>() && !isLoaded<mainwin>());
    QVERIFY(!trayStateForTest().shown);
}

void LifecycleTest::closeWithTrayHides() {
    setTrayAvailableForTest(true);
    testing::MessageRecorder recorder;
    mainwin& status = window<mainwin>();
    status.show();
    QVERIFY(!status.close());
    QVERIFY(recorder.messages().isEmpty());
    QVERIFY(!status.isVisible());
    QVERIFY(module().windowHidden);
    QCOMPARE(module().hiddenForm.data(), &status);
}

void LifecycleTest::secondStartShowsTheStatusWindow() {
    const int inheritable = inheritableDescriptors();
    const QString folder = m_folder->path();
    QVERIFY(!notifyRunningInstance(folder)); // nobody listens yet
    QVERIFY(claimSingleInstance(folder));
    SecondStartListener listener(folder);
    QVERIFY(listener.isListening());
    QObject::connect(&listener, &SecondStartListener::secondStart, &showStatusWindow);
    QCOMPARE(inheritableDescriptors(), inheritable);

    setTrayAvailableForTest(true);
    mainwin& status = window<mainwin>();
    status.show();
    QVERIFY(!status.close());
    QVERIFY(module().windowHidden);

    QVERIFY(!claimSingleInstance(folder));
    QVERIFY(notifyRunningInstance(folder));
    QTRY_VERIFY(status.isVisible());
    QVERIFY(!module().windowHidden);

    // Another program folder's console is another console.
    QVERIFY(!notifyRunningInstance(folder + QStringLiteral("other/")));
}

void LifecycleTest::quitUnloadsInItsOrder() {
    QStringList order;
    loadAndWatch<flashwin>(order, "flashwin");
    loadAndWatch<historywin>(order, "historywin");
    loadAndWatch<settingwin>(order, "settingwin");
    loadAndWatch<proinfowin>(order, "proinfowin");
    loadAndWatch<referWin>(order, "referWin");
    loadAndWatch<mainwin>(order, "mainwin");
    loadAndWatch<clwin>(order, "clwin");
    loadAndWatch<jrulewin>(order, "jrulewin");
    loadAndWatch<crulewin>(order, "crulewin");
    loadAndWatch<wlistwin>(order, "wlistwin");
    loadAndWatch<blistwin>(order, "blistwin");
    loadAndWatch<cl>(order, "cl");
    loadAndWatch<mantype>(order, "mantype");
    loadAndWatch<jrule>(order, "jrule");
    loadAndWatch<crule>(order, "crule");
    loadAndWatch<adreferWin>(order, "adreferWin");
    testing::MessageRecorder recorder;
    window<mainwin>().quit();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(order, (QStringList{"flashwin", "historywin", "settingwin", "proinfowin", "referWin",
                                 "mainwin", "crule", "jrule", "mantype", "cl", "blistwin",
                                 "wlistwin", "crulewin", "jrulewin", "clwin", "adreferWin"}));
}

// The program itself, started twice in one program folder: the second start
// is refused and the first hears of it (its trace says so).
void LifecycleTest::aSecondProgramStartShowsTheRunningConsole() {
    QTemporaryDir folder;
    // Under a name of its own: the updater's tests end every process of the
    // console's name on this machine.
    const QString program = folder.filePath(QStringLiteral("second-start-console"));
    QVERIFY(QFile::copy(QStringLiteral(OSTRUMGUI_PROGRAM), program));
    const QString trace = folder.filePath(QStringLiteral("first.trace"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("OSTRUM_SVC_ROOT"), folder.filePath(QStringLiteral("svc")));
    // Both end with the test, however it ends.
    QProcess first;
    QProcess second;
    first.setProcessEnvironment(environment);
    environment.insert(QStringLiteral("OSTRUM_TRACE"), QStringLiteral("stderr"));
    second.setProcessEnvironment(environment);
    environment.insert(QStringLiteral("OSTRUM_TRACE"), trace);
    first.setProcessEnvironment(environment);
    first.start(program, {});
    QVERIFY(first.waitForStarted());

    const auto shown = [&trace] {
        QFile file(trace);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("the status window shows")
                                              : qsizetype(0);
    };
    // Once it listens, a notice of our own shows its window a first time.
    QDeadlineTimer deadline(kStartBound);
    while (!notifyRunningInstance(folder.path() + QLatin1Char('/')) && !deadline.hasExpired()) {
        QTest::qWait(50);
    }
    QTRY_COMPARE_WITH_TIMEOUT(shown(), 1, kStartBound);
    second.start(program, {});
    QVERIFY(second.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(shown(), 2, kStartBound);
    QCOMPARE(second.state(), QProcess::Running); // its refusal message waits for OK
}

QTEST_MAIN(LifecycleTest)
#include "lifecycle_test.moc"
