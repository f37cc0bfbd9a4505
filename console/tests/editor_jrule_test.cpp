// The patch-rule window and its dialog, checked against the service's own
// loader of what they save.
#include "console/editors/jrule.h"
#include "console/editors/jrulewin.h"
#include "console/editors/patch_rule_file.h"
#include "console/editors/rule_id.h"
#include "console/shell/module.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"
#include "platform/text.h"
#include "service/http_filter.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
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

using console::jrule;
using console::jrulewin;
using console::MessageAnswer;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;

namespace {

QByteArray ansi(const char* utf8) {
    return QByteArray::fromStdString(platform::utf8ToAnsi(utf8));
}

// Runs open(), which shows dialog D modally; handle runs once D is up. A
// dialog that handle left open is unloaded after it. False when D never came up.
template <class D>
bool whileOpen(const std::function<void()>& open, const std::function<void(D&)>& handle) {
    bool ran = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ran || !console::isLoaded<D>() || !console::window<D>().isVisible()) {
            return;
        }
        ran = true;
        poll.stop();
        handle(console::window<D>());
        if (console::isLoaded<D>()) {
            console::unload<D>();
        }
    });
    poll.start();
    open();
    return ran;
}

void trigger(QWidget& window, const char* action) {
    QAction* item = window.findChild<QAction*>(QString::fromLatin1(action));
    QVERIFY2(item != nullptr, action);
    item->trigger();
}

// Add or Edit from the popup menu, with handle acting in the dialog.
bool addThrough(jrulewin& window, const std::function<void(jrule&)>& handle) {
    return whileOpen<jrule>([&] { trigger(window, "addBtn"); }, handle);
}

bool editThrough(jrulewin& window, const std::function<void(jrule&)>& handle) {
    return whileOpen<jrule>([&] { trigger(window, "editBtn"); }, handle);
}

QTreeWidget* rulesList(jrulewin& window) {
    return window.findChild<QTreeWidget*>(QStringLiteral("jrList"));
}

QStringList rowTexts(const QTreeWidgetItem* row) {
    QStringList texts;
    for (int column = 0; column < 9; ++column) {
        texts.append(row->text(column));
    }
    return texts;
}

QList<QStringList> rows(jrulewin& window) {
    QList<QStringList> all;
    QTreeWidget* list = rulesList(window);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        all.append(rowTexts(list->topLevelItem(i)));
    }
    return all;
}

void selectRow(jrulewin& window, const QString& id) {
    QTreeWidget* list = rulesList(window);
    list->clearSelection();
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        if (list->topLevelItem(i)->text(0) == id) {
            list->setCurrentItem(list->topLevelItem(i));
            list->topLevelItem(i)->setSelected(true);
            return;
        }
    }
    QFAIL("no such row");
}

void setField(QWidget& dialog, const char* name, const QString& text) {
    auto* field = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    QVERIFY2(field != nullptr, name);
    field->setText(text);
}

QString fieldText(QWidget& dialog, const char* name) {
    auto* field = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    return field != nullptr ? field->text() : QStringLiteral("<none>");
}

QComboBox* combo(QWidget& dialog, const char* name) {
    return dialog.findChild<QComboBox*>(QString::fromLatin1(name));
}

void clickOk(QWidget& dialog) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okBtn")), Qt::LeftButton);
}

// The patch rules as the service reads the saved file.
struct ServiceView {
    std::map<std::string, ostrum::constraint> constraints;
    std::vector<std::pair<std::string, std::string>> types;
};

ServiceView loadWithService(const ProgramFolder& folder) {
    QDir::setCurrent(folder.path());
    ostrum::HttpFilter filter;
    ServiceView view;
    if (filter.loadRuleFile(folder.file(QStringLiteral("JIPRULE.dat")).toStdString()) != 0) {
        return view;
    }
    view.constraints = filter.rules().constraints();
    for (const ostrum::typenode& type : filter.rules().safestrTypes()) {
        view.types.emplace_back(type.name, type.pat);
    }
    return view;
}

// What the service ought to see of the window's rows and types.
ServiceView expectedView(jrulewin& window) {
    ServiceView view;
    for (const QStringList& row : rows(window)) {
        const QString key = QStringList{row[1], row[2], row[3], console::textToCode(row[4]), row[5]}
                                .join(QStringLiteral("::"))
                                .toLower();
        ostrum::constraint& entry = view.constraints[platform::utf8ToAnsi(key.toStdString())];
        entry.minlen = row[7].toUInt();
        entry.maxlen = row[8].toUInt();
        entry.items.push_back({row[0].toInt(), row[6].toStdString()});
    }
    for (int i = 0; i < window.jtypeDic.count(); ++i) {
        view.types.emplace_back(window.jtypeDic.key(i).toStdString(),
                                window.jtypeDic.value(i).toStdString());
    }
    return view;
}

void compareWithService(jrulewin& window, const ProgramFolder& folder) {
    const ServiceView seen = loadWithService(folder);
    const ServiceView expected = expectedView(window);
    QCOMPARE(seen.types, expected.types);
    QCOMPARE(seen.constraints.size(), expected.constraints.size());
    for (const auto& [key, want] : expected.constraints) {
        const auto found = seen.constraints.find(key);
        QVERIFY2(found != seen.constraints.end(), key.c_str());
        QCOMPARE(found->second.minlen, want.minlen);
        QCOMPARE(found->second.maxlen, want.maxlen);
        QCOMPARE(found->second.items.size(), want.items.size());
        for (size_t i = 0; i < want.items.size(); ++i) {
            QCOMPARE(found->second.items[i].id, want.items[i].id);
            QCOMPARE(found->second.items[i].type, want.items[i].type);
        }
    }
}

QString render(const char* window, int language) {
    return console::testing::renderFolder() + QLatin1String(window) + QLatin1Char('-') +
           QString::number(language) + QStringLiteral(".png");
}

// The caption of a label or button, or the title of the window itself.
QString captionOf(QWidget& window, const QString& name) {
    if (window.objectName() == name) {
        return window.windowTitle();
    }
    if (const auto* label = window.findChild<QLabel*>(name)) {
        return label->text();
    }
    const auto* button = window.findChild<QPushButton*>(name);
    return button != nullptr ? button->text() : QStringLiteral("<none>");
}

// A loopback port nobody listens on now.
quint16 freePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    bind(probe, reinterpret_cast<sockaddr*>(&address), size);
    getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
    close(probe);
    return ntohs(address.sin_port);
}

// One GET over loopback: all that came back before the peer closed or went
// quiet; empty when the connection was refused or closed at once.
QByteArray httpGet(quint16 port, const QByteArray& target) {
    const int connection = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval quiet{5, 0};
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &quiet, sizeof(quiet));
    QByteArray reply;
    if (::connect(connection, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
        const QByteArray request = "GET " + target +
                                   " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
                                   "\r\nConnection: close\r\n\r\n";
        send(connection, request.constData(), size_t(request.size()), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t got; (got = recv(connection, buffer, sizeof(buffer), 0)) > 0;) {
            reply.append(buffer, qsizetype(got));
        }
    }
    close(connection);
    return reply;
}

int serviceStarts(const ProgramFolder& folder) {
    return int(folder.read(QStringLiteral("log/ostrum.log")).count("ostrum start!"));
}

jrulewin& openWindow() {
    jrulewin& window = console::window<jrulewin>();
    window.show();
    if (!QTest::qWaitForWindowExposed(&window)) {
        qWarning("jrulewin not exposed");
    }
    return window;
}

void closeWindow() {
    console::unload<jrulewin>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// A file with what the window must read its own way: comments, an attack
// rule, rules before types, a lower-case keyword, blanks before a keyword,
// blanks inside fields and quotes, odd position tokens, a repeated type.
QByteArray mixedFile() {
    return QByteArray("# patch rules\r\n"
                      "RAWRULE  \"1,QUERY,none,rx,block\"  \"select\"\r\n"
                      "jiprule  3  www.a.com::80::/a.asp::g::id  num::1-10\r\n"
                      "  JIPRULE  10  www.a.com::80::/b c.asp::G::user name  word::0-20\r\n"
                      "JIPTYPE  num \"^[0-9]+$\"\r\n"
                      "JIPTYPE  word \"  ^[a-z ]+$  \"\n") +
           ansi("JIPRULE  7  www.a.com::8080::/搜索.asp::z::q  any::0-0\r\n") +
           QByteArray("JIPTYPE  num \"^x$\"\r\n"
                      "JIPRULE  12  www.b.com::80::/c.asp::c::sid  word::5-40\r\n"
                      "not a rule\r\n");
}

} // namespace

class EditorJruleTest : public QObject {
    Q_OBJECT

private slots:
    void init() { console::module().uiLanguage = 0; }
    void cleanup() {
        closeWindow();
        // The service's loader ran in a program folder that is gone now.
        QDir::setCurrent(QDir::tempPath());
    }

    void readsTheFileItsOwnWay();
    void deleteAsksAndKeepsOtherLines();
    void addProposesIdsAndCreatesTheFile();
    void dialogChecksFieldsAndLengths();
    void editOpensWithTheRowsChoices();
    void unwritableFileIsReported();
    void idAllocationAndMalformedLines();
    void rendersInEveryLanguage();
    void appliedRuleChangesWhatTheServiceFilters();
};

void EditorJruleTest::readsTheFileItsOwnWay() {
    ProgramFolder folder;
    folder.write(QStringLiteral("JIPRULE.dat"), mixedFile());
    jrulewin& window = openWindow();
    const QList<QStringList> expected = {
        {"3", "www.a.com", "80", "/a.asp", "QueryString", "id", "num", "1", "10"},
        {"10", "www.a.com", "80", "/b c.asp", "g", "user name", "word", "0", "20"},
        {"7", "www.a.com", "8080", QString::fromUtf8("/搜索.asp"), "z", "q", "any", "0", "0"},
        {"12", "www.b.com", "80", "/c.asp", "Cookie", "sid", "word", "5", "40"},
    };
    QCOMPARE(rows(window), expected);
    // The repeated "num" keeps the first pattern; the lines after it still count.
    QCOMPARE(window.jtypeDic.keys(), (QStringList{"num", "word"}));
    QCOMPARE(window.jtypeDic.value(0), QStringLiteral("^[0-9]+$"));
    QCOMPARE(window.jtypeDic.value(1), QStringLiteral("^[a-z ]+$"));
    QCOMPARE(window.getmaxId(), QStringLiteral("12"));

    // A missing file: nothing to show, and Refresh reads it again.
    QFile::remove(folder.file(QStringLiteral("JIPRULE.dat")));
    trigger(window, "refreshBtn");
    QVERIFY(rows(window).isEmpty());
    QCOMPARE(window.jtypeDic.count(), 0);
    QCOMPARE(window.getmaxId(), QStringLiteral("0"));
}

void EditorJruleTest::deleteAsksAndKeepsOtherLines() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), mixedFile());
    jrulewin& window = openWindow();

    selectRow(window, QStringLiteral("7"));
    recorder.answerNext(MessageAnswer::No);
    trigger(window, "delBtn");
    QCOMPARE(recorder.messages().size(), 1);
    QCOMPARE(recorder.messages()[0].text, QStringLiteral("Click to Delete:\"Rule 7\"."));
    QCOMPARE(recorder.messages()[0].title, QStringLiteral("Advanced Setting - Patch Rules"));
    QVERIFY(recorder.messages()[0].buttons == console::MessageButtons::YesNo);
    QCOMPARE(rows(window).size(), 4);
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), mixedFile());

    // Only the deleted rule's line goes; every line ends in CR LF.
    trigger(window, "delBtn");
    QCOMPARE(rows(window).size(), 3);
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")),
             QByteArray("# patch rules\r\n"
                        "RAWRULE  \"1,QUERY,none,rx,block\"  \"select\"\r\n"
                        "jiprule  3  www.a.com::80::/a.asp::g::id  num::1-10\r\n"
                        "  JIPRULE  10  www.a.com::80::/b c.asp::G::user name  word::0-20\r\n"
                        "JIPTYPE  num \"^[0-9]+$\"\r\n"
                        "JIPTYPE  word \"  ^[a-z ]+$  \"\r\n"
                        "JIPTYPE  num \"^x$\"\r\n"
                        "JIPRULE  12  www.b.com::80::/c.asp::c::sid  word::5-40\r\n"
                        "not a rule\r\n"));

    // No selected row: Delete asks nothing.
    rulesList(window)->clearSelection();
    recorder.clear();
    trigger(window, "delBtn");
    QVERIFY(recorder.messages().isEmpty());
}

void EditorJruleTest::addProposesIdsAndCreatesTheFile() {
    ProgramFolder folder;
    MessageRecorder recorder;
    QFile::remove(folder.file(QStringLiteral("JIPRULE.dat")));
    jrulewin& window = openWindow();
    const bool shown = addThrough(window, [&](jrule& dialog) {
        QCOMPARE(fieldText(dialog, "idText"), QStringLiteral("1"));
        QVERIFY(!dialog.findChild<QLineEdit*>(QStringLiteral("idText"))->isEnabled());
        QCOMPARE(fieldText(dialog, "portText"), QStringLiteral("80"));
        QCOMPARE(fieldText(dialog, "minLenText"), QStringLiteral("0"));
        QCOMPARE(fieldText(dialog, "maxLenText"), QStringLiteral("0"));
        QCOMPARE(combo(dialog, "posCombo")->currentText(), QStringLiteral("QueryString"));
        QCOMPARE(combo(dialog, "posCombo")->count(), 8);
        QCOMPARE(combo(dialog, "jtypeCombo")->count(), 0);
        setField(dialog, "hostText", QStringLiteral("Www.Shop.com"));
        setField(dialog, "urlText", QStringLiteral("/Item.php"));
        setField(dialog, "paramText", QStringLiteral("ID"));
        clickOk(dialog);
        // No type to choose from: the dialog stays and says so.
        QVERIFY(console::isLoaded<jrule>());
    });
    QVERIFY(shown);
    QCOMPARE(recorder.texts(), QStringList{QStringLiteral("ParamType can not be empty!")});
    QVERIFY(!QFile::exists(folder.file(QStringLiteral("JIPRULE.dat"))));

    folder.write(QStringLiteral("JIPRULE.dat"), "JIPTYPE  num \"^[0-9]+$\"\r\n"
                                                "JIPRULE  3  a::80::/x::g::p  num::0-0\r\n"
                                                "JIPRULE  10  a::80::/x::g::q  num::0-0\r\n"
                                                "JIPRULE  7  a::80::/x::g::r  num::0-0\r\n");
    trigger(window, "refreshBtn");
    QVERIFY(addThrough(window, [&](jrule& dialog) {
        QCOMPARE(fieldText(dialog, "idText"), QStringLiteral("11"));
        setField(dialog, "hostText", QStringLiteral("Www.Shop.com"));
        setField(dialog, "urlText", QStringLiteral("/Item.php"));
        setField(dialog, "paramText", QStringLiteral("ID"));
        combo(dialog, "posCombo")->setCurrentText(QStringLiteral("PostData"));
        combo(dialog, "jtypeCombo")->setCurrentText(QStringLiteral("num"));
        setField(dialog, "minLenText", QStringLiteral("1"));
        setField(dialog, "maxLenText", QStringLiteral("10"));
        clickOk(dialog);
    }));
    QCOMPARE(rows(window).last(), (QStringList{"11", "Www.Shop.com", "80", "/Item.php", "PostData",
                                               "ID", "num", "1", "10"}));
    QVERIFY(folder.read(QStringLiteral("JIPRULE.dat"))
                .endsWith("JIPRULE  7  a::80::/x::g::r  num::0-0\r\n"
                          "JIPRULE  11  Www.Shop.com::80::/Item.php::p::ID  num::1-10\r\n"));
    compareWithService(window, folder);

    // The service now holds the new parameter to its type and length.
    QDir::setCurrent(folder.path());
    ostrum::HttpFilter filter;
    QCOMPARE(filter.loadRuleFile(folder.file(QStringLiteral("JIPRULE.dat")).toStdString()), 0);
    QCOMPARE(
        filter.rules().checkParamConstraint("www.shop.com", "80", "/item.php", "id", 'p', "12345"),
        0);
    QCOMPARE(
        filter.rules().checkParamConstraint("www.shop.com", "80", "/item.php", "id", 'p', "12a"),
        11);
    QCOMPARE(filter.rules().checkParamConstraint("www.shop.com", "80", "/item.php", "id", 'p',
                                                 "12345678901"),
             11);
}

void EditorJruleTest::dialogChecksFieldsAndLengths() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), "JIPTYPE  num \"^[0-9]+$\"\r\n");
    jrulewin& window = openWindow();
    // Each empty field in turn, in the dialog's order; blanks alone count as empty.
    QVERIFY(addThrough(window, [&](jrule& dialog) {
        setField(dialog, "portText", QString());
        clickOk(dialog);
        setField(dialog, "hostText", QStringLiteral("   "));
        clickOk(dialog);
        QCOMPARE(dialog.focusWidget(), dialog.findChild<QLineEdit*>(QStringLiteral("hostText")));
        setField(dialog, "hostText", QStringLiteral("h"));
        clickOk(dialog);
        setField(dialog, "portText", QStringLiteral("80"));
        clickOk(dialog);
        setField(dialog, "urlText", QStringLiteral("/u"));
        clickOk(dialog);
        setField(dialog, "paramText", QStringLiteral("p"));
        clickOk(dialog);
        QVERIFY(console::isLoaded<jrule>());
    }));
    QCOMPARE(recorder.texts(),
             (QStringList{"Host can not be empty!", "Host can not be empty!",
                          "Port can not be empty!", "URL can not be empty!",
                          "Param can not be empty!", "ParamType can not be empty!"}));
    QCOMPARE(recorder.messages()[0].title, QStringLiteral("Patch Rules Editor"));
    QVERIFY(rows(window).isEmpty());

    // Lengths: digits as typed; what the service could not read becomes 0.
    const QList<QPair<QString, QString>> lengths = {
        {"5", "20"}, {"1.5", "abc"}, {"", "-5"}, {" 7 ", "1e3"}, {"99999999999", "+3"}};
    const QList<QPair<QString, QString>> stored = {
        {"5", "20"}, {"0", "0"}, {"0", "0"}, {"7", "0"}, {"0", "0"}};
    for (const auto& [minimum, maximum] : lengths) {
        QVERIFY(addThrough(window, [&](jrule& dialog) {
            setField(dialog, "hostText", QStringLiteral(" h "));
            setField(dialog, "urlText", QStringLiteral("/u\r\nx"));
            setField(dialog, "paramText", QStringLiteral("p"));
            combo(dialog, "jtypeCombo")->setCurrentIndex(0);
            setField(dialog, "minLenText", minimum);
            setField(dialog, "maxLenText", maximum);
            clickOk(dialog);
        }));
    }
    const QList<QStringList> saved = rows(window);
    QCOMPARE(saved.size(), stored.size());
    for (int i = 0; i < saved.size(); ++i) {
        QCOMPARE(saved[i][7], stored[i].first);
        QCOMPARE(saved[i][8], stored[i].second);
        // Blanks around a field go, a line break never splits the record.
        QCOMPARE(saved[i][1], QStringLiteral("h"));
        QCOMPARE(saved[i][3], QStringLiteral("/u  x"));
    }
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")).count("\r\n"), 6);
    compareWithService(window, folder);
}

void EditorJruleTest::editOpensWithTheRowsChoices() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), "# a comment stays\r\n"
                                                "JIPTYPE  num \"^[0-9]+$\"\r\n"
                                                "JIPTYPE  Word \"^[a-z]+$\"\r\n"
                                                "JIPRULE  4  h::80::/u::G::a  any::0-0\r\n"
                                                "JIPRULE  4  h::80::/u::z::b  word::2-3\r\n");
    const QByteArray original = folder.read(QStringLiteral("JIPRULE.dat"));
    jrulewin& window = openWindow();
    QCOMPARE(rows(window)[0][4], QStringLiteral("g"));
    QCOMPARE(rows(window)[1][4], QStringLiteral("z"));

    // Cancel and the close box change nothing.
    selectRow(window, QStringLiteral("4"));
    QVERIFY(editThrough(window, [&](jrule& dialog) {
        setField(dialog, "hostText", QStringLiteral("other"));
        QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("cancelBtn")),
                          Qt::LeftButton);
    }));
    QVERIFY(addThrough(window, [&](jrule& dialog) {
        setField(dialog, "hostText", QStringLiteral("other"));
        dialog.close();
    }));
    QCOMPARE(rows(window).size(), 2);
    QCOMPARE(rows(window)[0][1], QStringLiteral("h"));
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), original);

    // A type outside the dictionary opens with no type; OK insists on one.
    QTreeWidget* list = rulesList(window);
    const QRect first = list->visualItemRect(list->topLevelItem(0));
    QVERIFY(whileOpen<jrule>(
        [&] {
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, first.center());
            QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, first.center());
        },
        [&](jrule& dialog) {
            QCOMPARE(fieldText(dialog, "idText"), QStringLiteral("4"));
            QCOMPARE(fieldText(dialog, "paramText"), QStringLiteral("a"));
            QCOMPARE(combo(dialog, "posCombo")->currentText(), QStringLiteral("QueryString"));
            QCOMPARE(combo(dialog, "jtypeCombo")->currentIndex(), -1);
            QCOMPARE(combo(dialog, "jtypeCombo")->count(), 2);
            clickOk(dialog);
            QVERIFY(console::isLoaded<jrule>());
            combo(dialog, "jtypeCombo")->setCurrentText(QStringLiteral("num"));
            clickOk(dialog);
        }));
    QCOMPARE(recorder.texts(), QStringList{QStringLiteral("ParamType can not be empty!")});

    // A type that differs only in case is chosen in the dictionary's spelling.
    list->clearSelection();
    list->topLevelItem(1)->setSelected(true);
    QVERIFY(editThrough(window, [&](jrule& dialog) {
        QCOMPARE(combo(dialog, "jtypeCombo")->currentText(), QStringLiteral("Word"));
        QCOMPARE(combo(dialog, "posCombo")->currentText(), QStringLiteral("QueryString"));
        clickOk(dialog);
    }));
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")),
             QByteArray("# a comment stays\r\n"
                        "JIPTYPE  num \"^[0-9]+$\"\r\n"
                        "JIPTYPE  Word \"^[a-z]+$\"\r\n"
                        "JIPRULE  4  h::80::/u::g::a  num::0-0\r\n"
                        "JIPRULE  4  h::80::/u::g::b  Word::2-3\r\n"));
    // Two rows of one id both stay; the next id is still the largest plus one.
    QCOMPARE(window.getmaxId(), QStringLiteral("4"));
    compareWithService(window, folder);

    // No selected row: Edit opens nothing.
    list->clearSelection();
    QVERIFY(!editThrough(window, [](jrule&) {}));
}

void EditorJruleTest::unwritableFileIsReported() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), "JIPTYPE  num \"^[0-9]+$\"\r\n");
    jrulewin& window = openWindow();
    // A folder where the file should be: nothing can replace it.
    QFile::remove(folder.file(QStringLiteral("JIPRULE.dat")));
    QVERIFY(QDir().mkdir(folder.file(QStringLiteral("JIPRULE.dat"))));
    QVERIFY(addThrough(window, [&](jrule& dialog) {
        setField(dialog, "hostText", QStringLiteral("h"));
        setField(dialog, "urlText", QStringLiteral("/u"));
        setField(dialog, "paramText", QStringLiteral("p"));
        combo(dialog, "jtypeCombo")->setCurrentIndex(0);
        clickOk(dialog);
    }));
    QCOMPARE(recorder.messages().size(), 1);
    QVERIFY(recorder.messages()[0].text.contains(QStringLiteral("JIPRULE.dat")));
    QCOMPARE(recorder.messages()[0].title, QStringLiteral("Advanced Setting - Patch Rules"));
    QVERIFY(!window.saveData());
}

void EditorJruleTest::idAllocationAndMalformedLines() {
    using console::maxIdText;
    using console::proposedIdText;
    QCOMPARE(proposedIdText({}), QStringLiteral("1"));
    QCOMPARE(proposedIdText({"3", "10", "7"}), QStringLiteral("11"));
    QCOMPARE(maxIdText({"3", "10", "7"}), QStringLiteral("10"));
    // Hand-edited ids: what reads as no number is passed over, decimals round.
    QCOMPARE(proposedIdText({"abc", "", " 4 ", "-9"}), QStringLiteral("5"));
    QCOMPARE(proposedIdText({"2.6", "1e1"}), QStringLiteral("11"));
    QCOMPARE(proposedIdText({"40000", "5"}), QStringLiteral("40001"));
    QCOMPARE(proposedIdText({"99999999999", "5"}), QStringLiteral("6"));
    // At the service's largest id, the smallest free one.
    QCOMPARE(proposedIdText({"2147483647", "1", "2", "4"}), QStringLiteral("3"));

    // Malformed lines add nothing and never read past their text.
    console::JTypeDic types;
    QList<console::PatchRule> rules;
    const QStringList malformed = {"",
                                   "JIPRULE",
                                   "JIPTYPE",
                                   "JIPTYPE  name",
                                   "JIPTYPE  name \"open",
                                   "JIPRULE  1  a::b",
                                   "JIPRULE  1  h::80::/u::g::p  num",
                                   "JIPRULE  1  h::80::/u::g::p  num::5",
                                   "# JIPTYPE  num \"x\"",
                                   QString(10000, QLatin1Char(':')),
                                   QString::fromUtf8("\xff\xfe\x00JIPRULE", 10)};
    for (const QString& line : malformed) {
        QVERIFY2(!console::readPatchRuleLine(line, types, rules), qPrintable(line.left(40)));
    }
    QCOMPARE(types.count(), 0);
    QVERIFY(rules.isEmpty());
    // Greedy groups: the last "-" splits the lengths, trailing text joins the maximum.
    QVERIFY(console::readPatchRuleLine(
        QStringLiteral("x JIPRULE 1 h::80::/a-b::g::p t::1-2-3 tail"), types, rules));
    QCOMPARE(rules[0].url, QStringLiteral("/a-b"));
    QCOMPARE(rules[0].minlen, QStringLiteral("1-2"));
    QCOMPARE(rules[0].maxlen, QStringLiteral("3 tail"));
}

void EditorJruleTest::rendersInEveryLanguage() {
    ProgramFolder folder;
    folder.write(QStringLiteral("JIPRULE.dat"), "JIPRULE  1  h::80::/u::g::a  num::0-9\r\n");
    const QList<QStringList> headers = {{"Advanced Setting - Patch Rules", "ID", "Host", "Port",
                                         "Url", "Position", "Parameter", "Type", "Minimum Length",
                                         "Maximum Length"},
                                        {"高级设置 - 入侵检测", "ID", "域名", "端口", "URL", "位置",
                                         "参数名称", "参数类型", "最小长度", "最大长度"},
                                        {"高級設置 - 入侵檢測", "ID", "域名", "端口", "URL", "位置",
                                         "參數名稱", "參數類型", "最小長度", "最大長度"}};
    const QList<QStringList> captions = {
        {"jrule", "Patch Rules Editor", "补丁规则编辑器", "補丁規則編輯器"},
        {"idLabel", "Rule ID:", "规则编号:", "規則編號:"},
        {"hostLabel", "Host:", "主机域名:", "主機域名:"},
        {"portLabel", "Port:", "主机端口:", "主機端口:"},
        {"urlLabel", "Url:", "请求URL:", "請求URL:"},
        {"posLabel", "Position:", "参数位置:", "參數位置:"},
        {"paramLabel", "Parameter:", "参数名称:", "參數名稱:"},
        {"jtypeLabel", "Type:", "参数类型:", "參數類型:"},
        {"lenLabel", "Length:", "长度范围:", "長度範圍:"},
        {"okBtn", "OK", "确认", "確認"},
        {"cancelBtn", "Cancel", "取消", "取消"}};
    for (int language = 0; language < 3; ++language) {
        console::module().uiLanguage = language;
        jrulewin& window = openWindow();
        QVERIFY(window.grab().save(render("jrulewin", language)));
        QStringList shown{window.windowTitle()};
        for (int column = 0; column < 9; ++column) {
            shown.append(rulesList(window)->headerItem()->text(column));
        }
        QCOMPARE(shown, headers[language]);
        QCOMPARE(window.findChild<QAction*>(QStringLiteral("mantypeBtn"))->text(),
                 QStringLiteral("Manage Parameter Type"));
        selectRow(window, QStringLiteral("1"));
        QVERIFY(editThrough(window, [&](jrule& dialog) {
            QVERIFY(dialog.grab().save(render("jrule", language)));
            for (const QStringList& caption : captions) {
                QCOMPARE(captionOf(dialog, caption[0]), caption[1 + language]);
            }
        }));
        closeWindow();
    }
}

void EditorJruleTest::appliedRuleChangesWhatTheServiceFilters() {
    ProgramFolder folder;
    MessageRecorder recorder;
    console::setServiceWaitForTest(0);
    const quint16 webPort = freePort();
    const quint16 port = freePort();
    folder.write(QStringLiteral("www/item"), "hello\n");
    QProcess web;
    web.setWorkingDirectory(folder.path());
    web.start(QStringLiteral("python3"),
              {QStringLiteral("-m"), QStringLiteral("http.server"), QString::number(webPort),
               QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--directory"),
               folder.file(QStringLiteral("www"))});
    QVERIFY(web.waitForStarted());
    console::writeSetting(QStringLiteral("run_mod"), QStringLiteral("1"));
    console::writeSetting(QStringLiteral("filt_http_port"), QString::number(port));
    folder.write(QStringLiteral("netfilter2/netfilter.ini"),
                 QStringLiteral("[upstream]\n%1=127.0.0.1:%2\n[setting]\nlisten=127.0.0.1\n")
                     .arg(port)
                     .arg(webPort)
                     .toLatin1());
    folder.write(QStringLiteral("JIPRULE.dat"), "JIPTYPE  num \"^[0-9]+$\"\r\n");
    QVERIFY(folder.installService());
    folder.svcctl({QStringLiteral("start")});
    QTRY_COMPARE_WITH_TIMEOUT(serviceStarts(folder), 1, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(httpGet(port, "/item?id=12a").contains("200 OK"), 20000);

    jrulewin& window = openWindow();
    QVERIFY(addThrough(window, [&](jrule& dialog) {
        setField(dialog, "hostText", QStringLiteral("127.0.0.1:%1").arg(port));
        setField(dialog, "portText", QString::number(port));
        setField(dialog, "urlText", QStringLiteral("/item"));
        setField(dialog, "paramText", QStringLiteral("id"));
        combo(dialog, "jtypeCombo")->setCurrentText(QStringLiteral("num"));
        setField(dialog, "maxLenText", QStringLiteral("5"));
        clickOk(dialog);
    }));
    QTest::mouseClick(window.findChild<QLabel*>(QStringLiteral("applyLabel")), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(serviceStarts(folder), 2, 20000);
    QTRY_VERIFY_WITH_TIMEOUT(httpGet(port, "/item?id=123").contains("200 OK"), 20000);
    QCOMPARE(httpGet(port, "/item?id=12a"), QByteArray());
    QCOMPARE(httpGet(port, "/item?id=123456"), QByteArray());
    QVERIFY(recorder.messages().isEmpty());
}

QTEST_MAIN(EditorJruleTest)
#include "editor_jrule_test.moc"
