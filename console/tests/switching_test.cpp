#include "console/shell/historywin.h"
#include "console/shell/mainwin.h"
#include "console/shell/module.h"
#include "console/shell/referwin.h"
#include "console/shell/switching.h"
#include "console/shell/tray.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"

#include <QLabel>
#include <QtTest>

using namespace console;

// Hiding main windows into the tray and bringing them back, and switching
// between them at one place on the screen.
class SwitchingTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void closedStatusWindowComesBackWhereItWas();
    void leftClickBringsBackTheLastHiddenWindow();
    void tabsSwitchAtTheSamePlace();
    void tipShowsOnlyItsBeginning();

private:
    std::unique_ptr<testing::ProgramFolder> m_folder;
};

void SwitchingTest::init() {
    m_folder = std::make_unique<testing::ProgramFolder>();
    module().windowHidden = false;
    module().hiddenForm = nullptr;
    // These windows hide into a notification area.
    setTrayAvailableForTest(true);
}

void SwitchingTest::closedStatusWindowComesBackWhereItWas() {
    mainwin& status = window<mainwin>();
    status.show();
    status.move(140, 90);
    const QPoint place = status.pos();
    QVERIFY(!status.close());
    QVERIFY(status.isHidden());
    QVERIFY(module().windowHidden);
    status.move(0, 0);
    trayLeftClickForTest();
    QVERIFY(status.isVisible());
    QCOMPARE(status.pos(), place);
    QVERIFY(!module().windowHidden);
    status.move(10, 10);
    trayLeftClickForTest(); // nothing hidden: nothing moves
    QCOMPARE(status.pos(), QPoint(10, 10));
}

void SwitchingTest::leftClickBringsBackTheLastHiddenWindow() {
    mainwin& status = window<mainwin>();
    status.show();
    switchMainWindow(&status, MainWindow::History);
    historywin& history = window<historywin>();
    QVERIFY(history.isVisible());
    QVERIFY(status.isHidden());
    QVERIFY(!module().windowHidden); // switching is not hiding into the tray
    history.close();
    QVERIFY(history.isHidden());
    trayLeftClickForTest();
    QVERIFY(history.isVisible());
    QVERIFY(status.isHidden());
    history.hide();
}

void SwitchingTest::tabsSwitchAtTheSamePlace() {
    mainwin& status = window<mainwin>();
    status.show();
    status.move(200, 120);
    auto* tab = status.findChild<QLabel*>(QStringLiteral("menuHistory"));
    QVERIFY(tab != nullptr);
    QVERIFY(status.findChild<QLabel*>(QStringLiteral("menuStatu")) == nullptr);
    QTest::mouseClick(tab, Qt::LeftButton);
    historywin& history = window<historywin>();
    QVERIFY(history.isVisible());
    QCOMPARE(history.pos(), status.pos());
    QCOMPARE(window<referWin>().pos(), status.pos());
    auto* back = history.findChild<QLabel*>(QStringLiteral("menuStatu"));
    QVERIFY(back != nullptr);
    QTest::mouseClick(back, Qt::LeftButton);
    QVERIFY(status.isVisible());
    QVERIFY(history.isHidden());
    QVERIFY(window<referWin>().isHidden());
}

void SwitchingTest::tipShowsOnlyItsBeginning() {
    traySetTip(QString(70, QLatin1Char('t')));
    QCOMPARE(trayStateForTest().tip, QString(64, QLatin1Char('t')));
    traySetTip(QStringLiteral("Ostrum"));
    QCOMPARE(trayStateForTest().tip, QStringLiteral("Ostrum"));
}

QTEST_MAIN(SwitchingTest)
#include "switching_test.moc"
