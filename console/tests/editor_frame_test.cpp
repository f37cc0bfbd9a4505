#include "console/editors/advanced.h"
#include "console/editors/advanced_frame.h"
#include "console/editors/blistwin.h"
#include "console/editors/cl.h"
#include "console/editors/clwin.h"
#include "console/editors/crule.h"
#include "console/editors/crulewin.h"
#include "console/editors/jrulewin.h"
#include "console/editors/wlistwin.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/modal.h"
#include "console/tests/support/program_folder.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <arpa/inet.h>
#include <functional>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace console;
using console::testing::child;
using console::testing::crlf;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;
using console::testing::whenModal;

namespace {

QLabel* label(QWidget& w, const char* name) {
    QLabel* found = w.findChild<QLabel*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no label %s", name);
    }
    return found;
}

void click(QWidget& w, const char* name) {
    QTest::mouseClick(label(w, name), Qt::LeftButton);
}

QAction* menuItem(QWidget& w, const char* name) {
    return w.findChild<QMenu*>(QStringLiteral("pMenu"))
        ->findChild<QAction*>(QString::fromLatin1(name));
}

// A pointer move without buttons, as the window system delivers it.
void moveOver(QWidget* target, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, target->mapToGlobal(at), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(target, &move);
}

// A file descriptor closed when it goes.
struct Socket {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    ~Socket() { ::close(fd); }
};

sockaddr_in loopback(quint16 port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

quint16 freePort() {
    Socket probe;
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    if (::bind(probe.fd, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::getsockname(probe.fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        return 0;
    }
    return ntohs(address.sin_port);
}

// Everything a GET answers until the server closes or stays silent; empty
// when the connection was closed without an answer.
QByteArray get(quint16 port, const QByteArray& target) {
    Socket client;
    const sockaddr_in address = loopback(port);
    if (::connect(client.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return "not connected";
    }
    const timeval wait{5, 0};
    ::setsockopt(client.fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    const QByteArray request =
        "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (::send(client.fd, request.constData(), size_t(request.size()), MSG_NOSIGNAL) < 0) {
        return QByteArray();
    }
    QByteArray answer;
    char chunk[4096];
    ssize_t got = 0;
    while ((got = ::recv(client.fd, chunk, sizeof chunk, 0)) > 0) {
        answer.append(chunk, got);
    }
    return answer;
}

// Whether, within a few tries, a second connection is refused while a first
// one is held open (the service may count the first one a moment late).
bool secondConnectionRefused(quint16 port) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        Socket held;
        const sockaddr_in address = loopback(port);
        if (::connect(held.fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
            get(port, "/").isEmpty()) {
            return true;
        }
        QTest::qWait(100);
    }
    return false;
}

int startsLogged(const ProgramFolder& folder) {
    return int(folder.read("log/ostrum.log").count("ostrum start!"));
}

void closeWindows() {
    unloadAdvancedWindows();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const char* const kSideBar[] = {"crbtn", "jrbtn", "clbtn", "blbtn", "wlbtn"};

// Loads each of the five windows in turn.
void forEachWindow(const std::function<void(AdvancedFrame&, const char*)>& check) {
    check(window<crulewin>(), "crulewin");
    check(window<jrulewin>(), "jrulewin");
    check(window<clwin>(), "clwin");
    check(window<blistwin>(), "blistwin");
    check(window<wlistwin>(), "wlistwin");
}

} // namespace

class FrameTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        module().uiLanguage = 0;
        module().advancedOwner.clear();
    }
    void cleanup() { closeWindows(); }

    void sideBarSwitchesOverTheAdvancedOwner();
    void blackListFromTheSettingsWindow();
    void quitUnloadsWindowAndDialog();
    void applyHoverPicture();
    void captionsInEveryLanguage();
    void recordListPopupMenu();
    void applyChangesWhatTheServiceFilters();
    void handWrittenLimitStillLimitsAfterASave();
};

void FrameTest::sideBarSwitchesOverTheAdvancedOwner() {
    ProgramFolder folder;
    QWidget owner;
    owner.show();
    module().advancedOwner = &owner;
    bool ownLabelKept = false;
    QWidget* attackOwner = nullptr;
    bool limitsGone = false;
    whenModal<clwin>([&](clwin& limits) {
        click(limits, "clbtn");
        ownLabelKept = isLoaded<clwin>() && limits.isVisible();
        whenModal<crulewin>([&](crulewin& attack) {
            attackOwner = attack.parentWidget();
            limitsGone = !isLoaded<clwin>();
            click(attack, "closeLabel");
        });
        click(limits, "crbtn");
    });
    showAdvancedWindow(AdvancedWindow::ConnectionLimit, &owner);
    QVERIFY(ownLabelKept);
    QVERIFY(limitsGone);
    QCOMPARE(attackOwner, &owner);
    QVERIFY(!isLoaded<crulewin>());
    QVERIFY(!isLoaded<clwin>());
}

void FrameTest::blackListFromTheSettingsWindow() {
    ProgramFolder folder;
    QWidget settings;
    settings.show();
    QWidget* whiteOwner = nullptr;
    whenModal<blistwin>([&](blistwin& black) {
        whenModal<wlistwin>([&](wlistwin& white) {
            whiteOwner = white.parentWidget();
            white.close(); // the close box
        });
        click(black, "wlbtn");
    });
    showAdvancedWindow(AdvancedWindow::BlackList, &settings);
    QCOMPARE(whiteOwner, &settings);
    QVERIFY(!isLoaded<wlistwin>());
    QVERIFY(!isLoaded<blistwin>());
}

void FrameTest::quitUnloadsWindowAndDialog() {
    ProgramFolder folder;
    QWidget owner;
    bool dialogWasUp = false;
    whenModal<clwin>([&](clwin& limits) {
        whenModal<cl>([&](cl&) {
            dialogWasUp = true;
            unloadAdvancedWindows();
        });
        menuItem(limits, "addBtn")->trigger();
    });
    showAdvancedWindow(AdvancedWindow::ConnectionLimit, &owner);
    QVERIFY(dialogWasUp);
    QVERIFY(!isLoaded<cl>());
    QVERIFY(!isLoaded<clwin>());
}

void FrameTest::applyHoverPicture() {
    ProgramFolder folder;
    clwin& w = window<clwin>();
    w.show();
    PictureButton* apply = w.applyButton();
    QLabel* applyLabel = label(w, "applyLabel");
    QVERIFY(!apply->hasFocusPicture());
    moveOver(applyLabel, QPoint(5, 5));
    QVERIFY(apply->hasFocusPicture());
    // Straight onto another label: the picture stays.
    moveOver(label(w, "crbtn"), QPoint(5, 5));
    moveOver(label(w, "closeLabel"), QPoint(5, 5));
    QVERIFY(apply->hasFocusPicture());
    QVERIFY(label(w, "closeBtn")->pixmap().cacheKey() != 0);
    // Onto the window's background: the normal picture.
    const QPoint background(2, w.height() - 2);
    QVERIFY(w.childAt(background) == nullptr);
    moveOver(&w, background);
    QVERIFY(!apply->hasFocusPicture());
}

void FrameTest::captionsInEveryLanguage() {
    ProgramFolder folder;
    const char* captions[3][7] = {
        {"Attack Rules", "Patch Rules", "Connection Limit", "Black List", "White List", "Apply",
         "Close"},
        {"入侵检测", "补丁规则", "连接限制", "黑名单", "白名单", "应用", "关闭"},
        {"入侵檢測", "補丁規則", "連接限制", "黑名單", "白名單", "應用", "關閉"}};
    const char* names[7] = {"crbtn", "jrbtn",      "clbtn",     "blbtn",
                            "wlbtn", "applyLabel", "closeLabel"};
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        forEachWindow([&](AdvancedFrame& w, const char* objectName) {
            QCOMPARE(w.objectName(), QString::fromLatin1(objectName));
            w.show();
            w.grab();
            for (int i = 0; i < 7; ++i) {
                QCOMPARE(label(w, names[i])->text(), QString::fromUtf8(captions[language][i]));
            }
            QCOMPARE(w.size(), AdvancedFrame::frameSize());
        });
        closeWindows();
    }
    // A language change reaches an open window at its next paint.
    module().uiLanguage = 0;
    clwin& w = window<clwin>();
    w.show();
    w.grab();
    module().uiLanguage = 2;
    w.update();
    QTRY_COMPARE(label(w, "applyLabel")->text(), QString::fromUtf8("應用"));
    QTRY_COMPARE(w.windowTitle(), QString::fromUtf8("高級設置 - 連接限制"));
    closeWindows();

    // A language none of the three keeps the designed captions.
    module().uiLanguage = 3;
    crulewin& designed = window<crulewin>();
    designed.show();
    designed.grab();
    QCOMPARE(label(designed, "clbtn")->text(), QString::fromUtf8("连接限制"));
    QCOMPARE(label(designed, "applyLabel")->text(), QString("Apply"));
    QCOMPARE(label(designed, "closeLabel")->text(), QString("Close"));
}

void FrameTest::recordListPopupMenu() {
    ProgramFolder folder;
    folder.write("iprange.dat", "CONNLIMIT  5  10.0.0.1-10.0.0.9  \"Office\"\r\n");
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QTreeWidget* list = w.findChild<QTreeWidget*>(QStringLiteral("ipList"));
    QMenu* menu = w.findChild<QMenu*>(QStringLiteral("pMenu"));
    QStringList items;
    for (QAction* action : menu->actions()) {
        items.append(action->objectName() + "=" + action->text());
    }
    QCOMPARE(items,
             (QStringList{"refreshBtn=Refresh", "editBtn=Edit", "addBtn=Add", "delBtn=Delete"}));

    const QRect first = list->visualItemRect(list->topLevelItem(0));
    // A double click opens the row in the dialog.
    QString opened;
    whenModal<cl>([&opened](cl& d) {
        opened = d.findChild<QLineEdit*>(QStringLiteral("psText"))->text();
        QTest::mouseClick(d.findChild<QPushButton*>(QStringLiteral("cancelBtn")), Qt::LeftButton);
    });
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
    QCOMPARE(opened, QString("Office"));

    QTest::mousePress(list->viewport(), Qt::RightButton, {}, first.center());
    QVERIFY(list->topLevelItem(0)->isSelected());
    QTRY_VERIFY(menu->isVisible());
    menu->hide();

    // Off the rows: no row, and Edit and Delete do nothing.
    QTest::mousePress(list->viewport(), Qt::RightButton, {},
                      QPoint(first.center().x(), first.bottom() + 40));
    QVERIFY(list->selectedItems().isEmpty());
    menu->hide();
    menuItem(w, "editBtn")->trigger();
    menuItem(w, "delBtn")->trigger();
    QVERIFY(!isLoaded<cl>());
    QVERIFY(recorder.messages().isEmpty());

    // Refresh reads the file again.
    folder.write("iprange.dat", QByteArray());
    menuItem(w, "refreshBtn")->trigger();
    QCOMPARE(list->topLevelItemCount(), 0);
}

void FrameTest::applyChangesWhatTheServiceFilters() {
    ProgramFolder folder;
    setServiceWaitForTest(0);
    const quint16 webPort = freePort();
    const quint16 port = freePort();
    QByteArray settings = folder.read("ostrum.cfg");
    settings +=
        "\r\nrun_mod=1\r\nblock_when_conn=0\r\nfilt_http_port=" + QByteArray::number(port) + "\r\n";
    folder.write("ostrum.cfg", settings);
    folder.write("netfilter2/netfilter.ini", "[upstream]\n" + QByteArray::number(port) +
                                                 "=127.0.0.1:" + QByteArray::number(webPort) +
                                                 "\n[setting]\nlisten=127.0.0.1\nthreads=2\n");
    folder.write("RAWRULE.dat", QByteArray());
    folder.write("iprange.dat", QByteArray());
    QProcess web;
    const auto stopWeb = qScopeGuard([&web] {
        web.kill();
        web.waitForFinished();
    });
    web.setWorkingDirectory(folder.path());
    web.start("python3", {"-m", "http.server", QString::number(webPort), "--bind", "127.0.0.1"});
    QVERIFY(web.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(get(webPort, "/").contains("200"), 20000);
    QVERIFY(folder.installService());
    folder.svcctl({"start"});
    QTRY_COMPARE_WITH_TIMEOUT(startsLogged(folder), 1, 20000);
    QVERIFY(get(port, "/?q=zebra-attack").contains("200"));

    crulewin& attack = window<crulewin>();
    attack.show();
    whenModal<crule>([](crule& d) {
        d.findChild<QComboBox*>("cmCombo")->setCurrentText("String Find");
        d.findChild<QComboBox*>("hdCombo")->setCurrentText("Block & Log");
        d.findChild<QPlainTextEdit*>("regexText")->setPlainText("zebra-attack");
        QTest::mouseClick(d.findChild<QPushButton*>("okBtn"), Qt::LeftButton);
    });
    menuItem(attack, "addBtn")->trigger();
    QCOMPARE(get(port, "/?q=zebra-attack").left(12), QByteArray("HTTP/1.0 200"));
    // Apply returns once the restart dialog has restarted the service.
    click(attack, "applyLabel");
    QVERIFY(attack.isVisible());
    QTRY_COMPARE_WITH_TIMEOUT(startsLogged(folder), 2, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(folder.svcctl({"query"}), QString("Running"), 20000);
    QTRY_VERIFY_WITH_TIMEOUT(get(port, "/?q=fine").contains("200"), 20000);
    QCOMPARE(get(port, "/?q=zebra-attack"), QByteArray());

    // The connection-limit window restarts it the same way.
    clwin& limits = window<clwin>();
    limits.show();
    click(limits, "applyLabel");
    QTRY_COMPARE_WITH_TIMEOUT(startsLogged(folder), 3, 20000);
}

void FrameTest::handWrittenLimitStillLimitsAfterASave() {
    ProgramFolder folder;
    MessageRecorder recorder;
    setServiceWaitForTest(0);
    const quint16 webPort = freePort();
    const quint16 port = freePort();
    folder.write("ostrum.cfg", folder.read("ostrum.cfg") +
                                   "\r\nrun_mod=1\r\nlimit_conn=1\r\nblock_when_conn=0\r\n"
                                   "filt_http_port=" +
                                   QByteArray::number(port) + "\r\n");
    folder.write("netfilter2/netfilter.ini", "[upstream]\n" + QByteArray::number(port) +
                                                 "=127.0.0.1:" + QByteArray::number(webPort) +
                                                 "\n[setting]\nlisten=127.0.0.1\nthreads=2\n");
    const QByteArray handWritten = "CONNLIMIT 1 127.0.0.1-127.0.0.1 noquotes\r\n";
    folder.write("iprange.dat", "# one connection from here\r\n" + handWritten);
    QProcess web;
    const auto stopWeb = qScopeGuard([&web] {
        web.kill();
        web.waitForFinished();
    });
    web.setWorkingDirectory(folder.path());
    web.start("python3", {"-m", "http.server", QString::number(webPort), "--bind", "127.0.0.1"});
    QVERIFY(web.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(get(webPort, "/").contains("200"), 20000);
    QVERIFY(folder.installService());
    folder.svcctl({"start"});
    QTRY_COMPARE_WITH_TIMEOUT(startsLogged(folder), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(get(port, "/").contains("200"), 20000);
    QVERIFY(secondConnectionRefused(port));

    // A limit the window does not show survives an Add and still limits.
    clwin& limits = window<clwin>();
    limits.show();
    QCOMPARE(child<QTreeWidget>(limits, "ipList")->topLevelItemCount(), 0);
    whenModal<cl>([](cl& d) {
        d.findChild<QLineEdit*>("psText")->setText("lab");
        d.findChild<QPlainTextEdit*>("ipsText")->setPlainText("10.9.0.1-10.9.0.9");
        QTest::mouseClick(d.findChild<QPushButton*>("okBtn"), Qt::LeftButton);
    });
    menuItem(limits, "addBtn")->trigger();
    QVERIFY(folder.read("iprange.dat").contains(handWritten));
    click(limits, "applyLabel");
    QTRY_COMPARE_WITH_TIMEOUT(startsLogged(folder), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(get(port, "/").contains("200"), 20000);
    QVERIFY(secondConnectionRefused(port));
    QVERIFY(!folder.read("log/ostrum.log").contains("load iprange faild"));
    QVERIFY(recorder.messages().isEmpty());
}

QTEST_MAIN(FrameTest)
#include "editor_frame_test.moc"
