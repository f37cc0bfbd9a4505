#include "console/editors/attack_rule_file.h"
#include "console/editors/crule.h"
#include "console/editors/crulewin.h"
#include "console/editors/rule_id.h"
#include "console/shell/module.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/modal.h"
#include "console/tests/support/program_folder.h"
#include "platform/text.h"
#include "service/http_filter.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <cstring>
#include <functional>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using namespace console;
using console::testing::child;
using console::testing::crlf;
using console::testing::menu;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;
using console::testing::selectOnly;
using console::testing::whenModal;

namespace {

QTreeWidget* listOf(crulewin& w) {
    return child<QTreeWidget>(w, "crList");
}

void selectRow(crulewin& w, int row) {
    selectOnly(listOf(w), row);
}

QStringList rowTexts(crulewin& w, int row) {
    QStringList texts;
    QTreeWidgetItem* item = listOf(w)->topLevelItem(row);
    for (int i = 0; i < 7; ++i) {
        texts.append(item->text(i));
    }
    return texts;
}

QStringList idsOf(crulewin& w) {
    QStringList ids;
    for (int i = 0; i < listOf(w)->topLevelItemCount(); ++i) {
        ids.append(listOf(w)->topLevelItem(i)->text(0));
    }
    return ids;
}

void clickOk(QWidget& dialog) {
    QTest::mouseClick(child<QPushButton>(dialog, "okBtn"), Qt::LeftButton);
}

// The dialog's fields as a user sets them; an empty text keeps a field.
struct Typed {
    QString tar, tran, cm, hd, regex, desc;
};

void type(crule& d, const Typed& t) {
    const std::pair<const char*, QString> lists[] = {
        {"tarCombo", t.tar}, {"tranCombo", t.tran}, {"cmCombo", t.cm}, {"hdCombo", t.hd}};
    for (const auto& [name, text] : lists) {
        if (!text.isEmpty()) {
            QComboBox* list = child<QComboBox>(d, name);
            QVERIFY2(list->findText(text) >= 0, qPrintable(text));
            list->setCurrentIndex(list->findText(text));
        }
    }
    if (!t.regex.isNull()) {
        child<QPlainTextEdit>(d, "regexText")->setPlainText(t.regex);
    }
    if (!t.desc.isNull()) {
        child<QPlainTextEdit>(d, "descText")->setPlainText(t.desc);
    }
}

void addRule(crulewin& w, const Typed& t) {
    whenModal<crule>([t](crule& d) {
        type(d, t);
        clickOk(d);
    });
    menu(w, "addBtn");
}

// Adds a rule with this pattern; false when OK left the dialog open (then cancelled).
bool addPattern(crulewin& w, const QString& pattern) {
    bool saved = false;
    whenModal<crule>([pattern, &saved](crule& d) {
        type(d, {"", "", "", "", pattern, ""});
        clickOk(d);
        saved = !d.isVisible();
        if (!saved) {
            QTest::mouseClick(child<QPushButton>(d, "cancelBtn"), Qt::LeftButton);
        }
    });
    menu(w, "addBtn");
    return saved;
}

void editRule(crulewin& w, int row, const Typed& t) {
    selectRow(w, row);
    whenModal<crule>([t](crule& d) {
        type(d, t);
        clickOk(d);
    });
    menu(w, "editBtn");
}

// Leaves a Unix socket at path: it exists, opens for no reading, and a
// rename replaces it.
bool bindSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(path);
    if (fd < 0 || size_t(name.size()) >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

void closeWindows() {
    unload<crule>();
    unload<crulewin>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class CruleTest : public QObject {
    Q_OBJECT

private slots:
    void init() { module().uiLanguage = 0; }
    void cleanup() { closeWindows(); }

    void editsReachTheServiceExactly();
    void readingFollowsTheWindowsGrammar();
    void tokensMapBothWays();
    void idAllocation();
    void dialogChecksAndLineBreaks();
    void deleteAsksFirst();
    void unwritableFileKeepsListAndFile();
    void remarksInTheCodePage();
    void rendersInThreeLanguages();
};

void CruleTest::editsReachTheServiceExactly() {
    ProgramFolder folder;
    folder.write("RAWRULE.dat", crlf({
                                    "# attack rules",
                                    "RULEDESC  \"union select\"",
                                    "RAWRULE  \"5,arg,normal,regex,block\"  \"union\\s+select\"",
                                    "JIPTYPE  num  \"^\\d+$\"",
                                    "RAWRULE  \"6,url,raw,find,log\"  \"../\"",
                                    "RULEDESC  \"agent\"",
                                    "RAWRULE  \"7,agent,normal,!regex,block\"  \"^mozilla\"",
                                }));
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    QCOMPARE(listOf(w)->topLevelItemCount(), 3);
    QCOMPARE(rowTexts(w, 0), (QStringList{"5", "Q&C&P", "Normalize", "Regex Match", "Block & Log",
                                          "union\\s+select", "union select"}));

    addRule(w, {"Client-Ip", "RawData", "String Find", "Block & Log", "10.1.", "bad net"});
    editRule(w, 1, {"Cookie", "", "Regex Match", "Block & Log", "(?i)SessionX\\D\\S", ""});
    recorder.answerNext(MessageAnswer::Yes);
    selectRow(w, 2);
    menu(w, "delBtn");

    QCOMPARE(idsOf(w), (QStringList{"5", "6", "8"}));
    QCOMPARE(folder.read("RAWRULE.dat"),
             crlf({"# attack rules", "RULEDESC  \"union select\"",
                   "RAWRULE  \"5,arg,normal,regex,block\"  \"union\\s+select\"",
                   "JIPTYPE  num  \"^\\d+$\"",
                   "RAWRULE  \"6,cookie,raw,regex,block\"  \"(?i)SessionX\\D\\S\"",
                   "RULEDESC  \"bad net\"", "RAWRULE  \"8,cip,raw,find,block\"  \"10.1.\""}));

    // The service's own loader sees the rules the window shows, field for field.
    QDir::setCurrent(folder.path());
    ostrum::HttpFilter filter;
    QCOMPARE(filter.loadRuleFile("RAWRULE.dat"), 0);
    const auto& rules = filter.rules().rules();
    QCOMPARE(int(rules.size()), listOf(w)->topLevelItemCount());
    for (int i = 0; i < int(rules.size()); ++i) {
        const QStringList row = rowTexts(w, i);
        ostrum::rulenode parse;
        const auto code = [](const QString& display) {
            return attackrule::textToCode(display).toStdString();
        };
        QCOMPARE(rules[i].id, row[0].toInt());
        QCOMPARE(rules[i].tar, parse.parseTar(code(row[1])));
        QCOMPARE(rules[i].tra, parse.parseTra(code(row[2])));
        QCOMPARE(rules[i].cm, parse.parseCm(code(row[3])));
        QCOMPARE(rules[i].hd, parse.parseHd(code(row[4])));
        QCOMPARE(QString::fromStdString(rules[i].pat), row[5]);
    }
    QCOMPARE(rules[2].tar, int32_t(ostrum::POS_CIP));
    QCOMPARE(rules[1].tar, int32_t(ostrum::POS_COOKIE));
}

void CruleTest::readingFollowsTheWindowsGrammar() {
    ProgramFolder folder;
    QByteArray hugeLine = "RAWRULE  \"" + QByteArray(200000, ',') + "\"  \"x";
    folder.write("RAWRULE.dat",
                 crlf({"RULEDESC  \"first\"", "# a comment between", "something unrecognised",
                       "RULEDESC  \"second\"", "RAWRULE  \"1,url,raw,find,block\"  \"a\"",
                       "  rawrule  \"2,host,raw,find,log\"  \"  b  \"  trailing",
                       "RAWRULE  \"3,url,raw,find\"  \"too few fields\"",
                       "RAWRULE  \"4,url,raw,find,log\"  \"\"",
                       "RAWRULE  \"5,url,raw,find,log  \"unclosed", "RULEDESC  \"left over\""}) +
                     hugeLine + "\r\n" + QByteArray("\x01\xff\xfe\"RAWRULE\r\n", 11));
    crulewin& w = window<crulewin>();
    QCOMPARE(idsOf(w), (QStringList{"1", "2"}));
    QCOMPARE(rowTexts(w, 0).last(), QString("second"));
    QCOMPARE(rowTexts(w, 1), (QStringList{"2", "HOST", "RawData", "String Find", "Log", "b", ""}));

    // A save that changes nothing keeps every line as it was, ending the
    // last one too in CR LF.
    const QByteArray before = folder.read("RAWRULE.dat");
    MessageRecorder recorder;
    editRule(w, 0, {});
    QCOMPARE(folder.read("RAWRULE.dat"), before + "\r\n");
    QVERIFY(recorder.messages().isEmpty());
}

void CruleTest::tokensMapBothWays() {
    ProgramFolder folder;
    folder.write("RAWRULE.dat", crlf({"RAWRULE  \"1,URL,Normal,REGEX,Block\"  \"a\"",
                                      "RAWRULE  \"2, url,raw,find,log\"  \"b\"",
                                      "RAWRULE  \"3,cip,raw,find,log\"  \"c\"",
                                      "RAWRULE  \"4,nowhere,raw,find,log\"  \"d\""}));
    crulewin& w = window<crulewin>();
    QCOMPARE(rowTexts(w, 0).mid(1, 4), (QStringList{"url", "normal", "regex", "block"}));
    QCOMPARE(rowTexts(w, 1)[1], QString(" url"));
    QCOMPARE(rowTexts(w, 2)[1], QString("Client-Ip"));
    QCOMPARE(rowTexts(w, 3)[1], QString("nowhere"));

    // A save keeps the lines of the rules it did not change as they are.
    MessageRecorder recorder;
    recorder.answerNext(MessageAnswer::Yes);
    selectRow(w, 3);
    menu(w, "delBtn");
    QCOMPARE(folder.read("RAWRULE.dat"), crlf({"RAWRULE  \"1,URL,Normal,REGEX,Block\"  \"a\"",
                                               "RAWRULE  \"2, url,raw,find,log\"  \"b\"",
                                               "RAWRULE  \"3,cip,raw,find,log\"  \"c\""}));

    // Editing: a token in capitals opens as its entry; the blank one as "Any".
    QStringList opened;
    for (int row : {0, 1}) {
        selectRow(w, row);
        whenModal<crule>([&opened](crule& d) {
            opened.append(child<QComboBox>(d, "tarCombo")->currentText());
            opened.append(child<QComboBox>(d, "hdCombo")->currentText());
            clickOk(d);
        });
        menu(w, "editBtn");
    }
    QCOMPARE(opened, (QStringList{"URL", "Block & Log", "Any", "Log"}));
    QCOMPARE(folder.read("RAWRULE.dat"), crlf({"RAWRULE  \"1,url,normal,regex,block\"  \"a\"",
                                               "RAWRULE  \"2,any,raw,find,log\"  \"b\"",
                                               "RAWRULE  \"3,cip,raw,find,log\"  \"c\""}));
}

void CruleTest::idAllocation() {
    ProgramFolder folder;
    QFile::remove(folder.file("RAWRULE.dat"));
    crulewin& empty = window<crulewin>();
    QCOMPARE(listOf(empty)->topLevelItemCount(), 0);
    QStringList proposal;
    whenModal<crule>([&proposal](crule& d) {
        QVERIFY(!child<QLineEdit>(d, "idText")->isEnabled());
        proposal = {child<QLineEdit>(d, "idText")->text(),
                    child<QComboBox>(d, "tarCombo")->currentText(),
                    child<QComboBox>(d, "tranCombo")->currentText(),
                    child<QComboBox>(d, "cmCombo")->currentText(),
                    child<QComboBox>(d, "hdCombo")->currentText()};
        type(d, {"", "", "", "", "x", ""});
        clickOk(d);
    });
    menu(empty, "addBtn");
    QCOMPARE(proposal, (QStringList{"1", "QueryString", "Normalize", "Regex Match", "Log"}));
    QCOMPARE(folder.read("RAWRULE.dat"), crlf({"RAWRULE  \"1,argget,normal,regex,log\"  \"x\""}));
    closeWindows();

    folder.write("RAWRULE.dat", crlf({"RAWRULE  \"3,url,raw,find,log\"  \"a\"",
                                      "RAWRULE  \"10,url,raw,find,log\"  \"b\"",
                                      "RAWRULE  \"7,url,raw,find,log\"  \"c\"",
                                      "RAWRULE  \"10,url,raw,find,log\"  \"same id\"",
                                      "RAWRULE  \"word,url,raw,find,log\"  \"d\"",
                                      "RAWRULE  \"99999999999,url,raw,find,log\"  \"e\""}));
    crulewin& w = window<crulewin>();
    QCOMPARE(w.getmaxId(), QString("10"));
    addRule(w, {"", "", "", "", "y", ""});
    QCOMPARE(idsOf(w), (QStringList{"3", "10", "7", "10", "word", "99999999999", "11"}));
    QCOMPARE(console::maxIdText({"2.6", "-4", " 1 "}), QString("3"));
    QCOMPARE(console::maxIdText({"-4", "abc", ""}), QString("0"));
}

void CruleTest::dialogChecksAndLineBreaks() {
    ProgramFolder folder;
    folder.write("RAWRULE.dat", crlf({"RAWRULE  \"1,url,raw,find,log\"  \"a\""}));
    const QByteArray before = folder.read("RAWRULE.dat");
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    for (const QString& pattern : {QString(""), QString("   ")}) {
        whenModal<crule>([pattern](crule& d) {
            type(d, {"", "", "", "", pattern, ""});
            clickOk(d);
            QVERIFY(d.isVisible());
            QTest::mouseClick(child<QPushButton>(d, "cancelBtn"), Qt::LeftButton);
        });
        menu(w, "addBtn");
    }
    QCOMPARE(recorder.texts(), (QStringList{"Regex can not be empty!", "Regex can not be empty!"}));
    QCOMPARE(recorder.messages().first().title, QString("Intrusion Rules Editor"));
    QCOMPARE(folder.read("RAWRULE.dat"), before);
    QCOMPARE(listOf(w)->topLevelItemCount(), 1);

    // A line break never splits a record in the file.
    addRule(w, {"", "", "", "", "union\n\\s+select", "two\r\nlines"});
    QCOMPARE(rowTexts(w, 1).mid(5), (QStringList{"union\\s+select", "two lines"}));
    QCOMPARE(folder.read("RAWRULE.dat"),
             before + crlf({"RULEDESC  \"two lines\"",
                            "RAWRULE  \"2,argget,normal,regex,log\"  \"union\\s+select\""}));

    // Cancel after changing every field changes nothing.
    selectRow(w, 0);
    whenModal<crule>([](crule& d) {
        type(d, {"Cookie", "Normalize", "Regex Match", "Block & Log", "zzz", "zzz"});
        QTest::mouseClick(child<QPushButton>(d, "cancelBtn"), Qt::LeftButton);
    });
    menu(w, "editBtn");
    QCOMPARE(rowTexts(w, 0)[5], QString("a"));
    QVERIFY(!isLoaded<crule>());
}

void CruleTest::deleteAsksFirst() {
    ProgramFolder folder;
    folder.write("RAWRULE.dat",
                 crlf({"# a comment stays", "RAWRULE  \"5,url,raw,find,log\"  \"a\""}));
    const QByteArray before = folder.read("RAWRULE.dat");
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    recorder.answerNext(MessageAnswer::No);
    selectRow(w, 0);
    menu(w, "delBtn");
    QCOMPARE(folder.read("RAWRULE.dat"), before);
    QCOMPARE(listOf(w)->topLevelItemCount(), 1);
    QCOMPARE(recorder.messages().size(), 1);
    QCOMPARE(recorder.messages()[0].text, QString("Click to Delete:\"Rule 5\"."));
    QCOMPARE(recorder.messages()[0].title, QString("Advanced Setting - Attack Rules"));
    QCOMPARE(recorder.messages()[0].buttons, MessageButtons::YesNo);

    module().uiLanguage = 2;
    recorder.answerNext(MessageAnswer::Yes);
    menu(w, "delBtn");
    QCOMPARE(recorder.messages()[1].text, QString::fromUtf8("點擊刪除:\"Rule 5\"."));
    QCOMPARE(recorder.messages()[1].title, QString::fromUtf8("高級設置 - 入侵檢測"));
    QCOMPARE(folder.read("RAWRULE.dat"), crlf({"# a comment stays"}));
}

void CruleTest::unwritableFileKeepsListAndFile() {
    ProgramFolder folder;
    QFile::remove(folder.file("RAWRULE.dat"));
    QVERIFY(QDir().mkpath(folder.file("RAWRULE.dat")));
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    QVERIFY(!addPattern(w, "x"));
    QCOMPARE(recorder.messages().size(), 1);
    QVERIFY(recorder.messages()[0].text.startsWith("Can not write the file: "));
    QCOMPARE(recorder.messages()[0].title, QString("Advanced Setting - Attack Rules"));
    QCOMPARE(listOf(w)->topLevelItemCount(), 0);
    closeWindows();

    // A file that exists but cannot be read (here a socket, which a save
    // would replace) is not replaced by what the window shows.
    QVERIFY(QDir(folder.file("RAWRULE.dat")).removeRecursively());
    QVERIFY(bindSocket(folder.file("RAWRULE.dat")));
    recorder.clear();
    crulewin& again = window<crulewin>();
    QVERIFY(!addPattern(again, "probe"));
    QVERIFY(QFileInfo(folder.file("RAWRULE.dat")).exists());
    QVERIFY(!QFileInfo(folder.file("RAWRULE.dat")).isFile());
    QCOMPARE(recorder.messages().size(), 1);
    QVERIFY(recorder.messages()[0].text.startsWith("Can not write the file: "));
    // Once the file reads again, saves go through.
    QVERIFY(QFile::remove(folder.file("RAWRULE.dat")));
    menu(again, "refreshBtn");
    QVERIFY(addPattern(again, "probe"));
    QCOMPARE(folder.read("RAWRULE.dat"),
             crlf({"RAWRULE  \"1,argget,normal,regex,log\"  \"probe\""}));
}

void CruleTest::remarksInTheCodePage() {
    ProgramFolder folder;
    const QString remark = QString::fromUtf8("跨站脚本");
    folder.write("RAWRULE.dat", QByteArray::fromStdString(platform::utf8ToAnsi(
                                    "RULEDESC  \"" + remark.toStdString() + "\"\r\n")) +
                                    "RAWRULE  \"1,url,raw,find,log\"  \"<script\"\r\n");
    const QByteArray before = folder.read("RAWRULE.dat");
    crulewin& w = window<crulewin>();
    QCOMPARE(rowTexts(w, 0)[6], remark);
    editRule(w, 0, {});
    QCOMPARE(folder.read("RAWRULE.dat"), before);
}

void CruleTest::rendersInThreeLanguages() {
    ProgramFolder folder;
    const char* headers[3][7] = {
        {"ID", "Position", "Transform", "Compare", "Handle", "Regex", "Remark"},
        {"ID", "位置", "转换", "比较", "处理", "正则", "备注"},
        {"ID", "位置", "轉換", "比較", "處理", "正則", "備註"}};
    const char* titles[3] = {"Advanced Setting - Attack Rules", "高级设置 - 入侵检测",
                             "高級設置 - 入侵檢測"};
    const char* labels[3][9] = {{"Rule ID:", "Position:", "Transform:", "Compare:", "Handle:",
                                 "RegEx:", "Remark:", "OK", "Cancel"},
                                {"规则ID:", "匹配位置:", "转换方式:", "比较方式:", "处理方式:",
                                 "规则正则:", "规则说明:", "确认", "取消"},
                                {"規則ID:", "匹配位置:", "轉換方式:", "比較方式:", "處理方式:",
                                 "規則正則:", "規則說明:", "確認", "取消"}};
    const char* dialogTitles[3] = {"Intrusion Rules Editor", "入侵规则编辑器", "入侵規則編輯器"};
    const char* names[9] = {"idLabel",    "tarLabel",  "tranLabel", "cmLabel",  "hdLabel",
                            "regexLabel", "descLabel", "okBtn",     "cancelBtn"};
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        crulewin& w = window<crulewin>();
        w.show();
        const QPixmap shot = w.grab();
        QVERIFY(shot.save(console::testing::renderFolder() +
                          QStringLiteral("crulewin-%1.png").arg(language)));
        QCOMPARE(w.windowTitle(), QString::fromUtf8(titles[language]));
        for (int c = 0; c < 7; ++c) {
            QCOMPARE(listOf(w)->headerItem()->text(c), QString::fromUtf8(headers[language][c]));
        }
        crule& d = window<crule>();
        d.show();
        QVERIFY(d.grab().save(console::testing::renderFolder() +
                              QStringLiteral("crule-%1.png").arg(language)));
        QCOMPARE(d.windowTitle(), QString::fromUtf8(dialogTitles[language]));
        for (int i = 0; i < 9; ++i) {
            QWidget* control = child<QWidget>(d, names[i]);
            const QString text = qobject_cast<QLabel*>(control)
                                     ? qobject_cast<QLabel*>(control)->text()
                                     : qobject_cast<QPushButton*>(control)->text();
            QCOMPARE(text, QString::fromUtf8(labels[language][i]));
        }
        closeWindows();
    }
}

QTEST_MAIN(CruleTest)
#include "editor_crule_test.moc"
