#include "console/shell/module.h"
#include "console/shell/restartwin.h"
#include "console/tests/support/elided_texts.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"
#include "platform/svc/service_manager.h"

#include <QLabel>
#include <QtTest>

using namespace console;

namespace {

pid_t servicePid() {
    pid_t pid = 0;
    return platform::svc::openServiceManager()->queryProcessId("ostrum", pid) == 0 ? pid : 0;
}

} // namespace

// The restart dialog stops the service and starts it again, whatever state
// it found it in, and closes by itself.
class RestartwinTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void restartsARunningService();
    void startsAStoppedService();
    void closesWithoutAServiceToRestart();
    void renders();

private:
    std::unique_ptr<testing::ProgramFolder> m_folder;
};

void RestartwinTest::init() {
    m_folder = std::make_unique<testing::ProgramFolder>();
    module().uiLanguage = 0;
    setServiceWaitForTest(0);
}

void RestartwinTest::restartsARunningService() {
    QVERIFY(m_folder->installService());
    startServiceAndWait(kServiceName);
    QTRY_VERIFY_WITH_TIMEOUT(!isServiceStopped(kServiceName), 20000);
    const pid_t before = servicePid();
    QVERIFY(before != 0);
    testing::MessageRecorder recorder;
    QWidget owner;
    owner.show();
    showRestartWindow(&owner);
    QTRY_VERIFY_WITH_TIMEOUT(!isServiceStopped(kServiceName), 20000);
    QVERIFY(servicePid() != 0);
    QVERIFY(servicePid() != before);
    QCOMPARE(owner.cursor().shape(), Qt::ArrowCursor);
    QVERIFY(recorder.messages().isEmpty());
    // Both starts in the service's own run log.
    QTRY_COMPARE(m_folder->read(QStringLiteral("log/ostrum.log")).count("ostrum start!"), 2);
}

// Escape in the second before the restart does not cancel it.
void RestartwinTest::startsAStoppedService() {
    QVERIFY(m_folder->installService());
    QVERIFY(isServiceStopped(kServiceName));
    bool escaped = false;
    QTimer::singleShot(100, [&escaped] {
        if (QWidget* dialog = QApplication::activeModalWidget()) {
            QTest::keyClick(dialog, Qt::Key_Escape);
            escaped = true;
        }
    });
    showRestartWindow(nullptr);
    QVERIFY(escaped);
    QTRY_VERIFY_WITH_TIMEOUT(!isServiceStopped(kServiceName), 20000);
}

void RestartwinTest::closesWithoutAServiceToRestart() {
    testing::MessageRecorder recorder;
    showRestartWindow(nullptr);
    QVERIFY(!isServiceInstalled(kServiceName));
    QVERIFY(recorder.messages().isEmpty());
}

// Its texts are English in every language.
void RestartwinTest::renders() {
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        restartwin dialog(nullptr);
        dialog.show();
        QCOMPARE(dialog.objectName(), QStringLiteral("restartwin"));
        QCOMPARE(dialog.tiplabel()->objectName(), QStringLiteral("tiplabel"));
        QCOMPARE(dialog.tiplabel()->text(), QStringLiteral("Restarting Ostrum now..."));
        QVERIFY(dialog.findChild<QTimer*>(QStringLiteral("Timer"))->isActive());
        QVERIFY(dialog.grab().save(testing::renderFolder() +
                                   QStringLiteral("restartwin-%1.png").arg(language)));
        QCOMPARE(testing::elidedTexts(dialog), QStringList());
    }
}

QTEST_MAIN(RestartwinTest)
#include "restartwin_test.moc"
