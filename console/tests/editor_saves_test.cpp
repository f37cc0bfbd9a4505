// What the record windows write back: every line a save does not change
// stays as it was, and the dialogs refuse what the file or the service could
// not hold as shown. Each save is read back with the service's own loaders.
#include "console/editors/attack_rule_file.h"
#include "console/editors/cl.h"
#include "console/editors/clwin.h"
#include "console/editors/conn_limit_file.h"
#include "console/editors/crule.h"
#include "console/editors/crulewin.h"
#include "console/editors/jrule.h"
#include "console/editors/jrulewin.h"
#include "console/editors/mantype.h"
#include "console/editors/patch_rule_file.h"
#include "console/editors/rule_id.h"
#include "console/shell/module.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/modal.h"
#include "console/tests/support/program_folder.h"
#include "service/http_filter.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <functional>

using namespace console;
using console::testing::child;
using console::testing::crlf;
using console::testing::menu;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;
using console::testing::selectOnly;
using console::testing::whenModal;

namespace {

const QString kMissingO = QString::fromUtf8("The system's code page has no character \"ö\"!");
const QString kBadId = QStringLiteral("Rule ID must be a whole number from 1 to 2147483647!");

// Runs handle in dialog D once open() has shown it; OK then, and Cancel
// when OK left the dialog open. The answer: whether OK closed it.
template <class D>
bool okIn(const std::function<void()>& open, const std::function<void(D&)>& handle) {
    bool closed = false;
    whenModal<D>([&handle, &closed](D& dialog) {
        handle(dialog);
        QTest::mouseClick(child<QPushButton>(dialog, "okBtn"), Qt::LeftButton);
        closed = !isLoaded<D>();
        if (!closed) {
            QTest::mouseClick(child<QPushButton>(dialog, "cancelBtn"), Qt::LeftButton);
        }
    });
    open();
    return closed;
}

void setText(QWidget& dialog, const char* name, const QString& text) {
    if (auto* line = dialog.findChild<QLineEdit*>(QString::fromLatin1(name))) {
        line->setText(text);
    } else {
        child<QPlainTextEdit>(dialog, name)->setPlainText(text);
    }
}

void choose(QWidget& dialog, const char* name, const QString& entry) {
    QComboBox* list = child<QComboBox>(dialog, name);
    list->setCurrentIndex(list->findText(entry));
}

int rowCount(QWidget& window, const char* list) {
    return child<QTreeWidget>(window, list)->topLevelItemCount();
}

QString cell(QWidget& window, const char* list, int row, int column) {
    return child<QTreeWidget>(window, list)->topLevelItem(row)->text(column);
}

// Fills the patch-rule dialog with a rule of type num.
void patchRule(QWidget& dialog, const QString& host, const QString& param) {
    setText(dialog, "hostText", host);
    setText(dialog, "urlText", QStringLiteral("/u"));
    setText(dialog, "paramText", param);
    choose(dialog, "jtypeCombo", QStringLiteral("num"));
}

// Adds a type in the type editor as a user types it; the editor then closes.
void addType(jrulewin& w, const QString& name, const QString& pattern) {
    whenModal<mantype>([name, pattern](mantype& editor) {
        editor.findChild<QMenu*>(QStringLiteral("sMenu"))
            ->findChild<QAction*>(QStringLiteral("addBtn"))
            ->trigger();
        child<QLineEdit>(editor, "tname")->setText(name);
        child<QLineEdit>(editor, "tregex")->setText(pattern);
        QTest::keyClick(child<QLineEdit>(editor, "tregex"), Qt::Key_Return);
        editor.close();
    });
    menu(w, "mantypeBtn");
}

ostrum::HttpFilter& loaded(const ProgramFolder& folder, ostrum::HttpFilter& filter) {
    QDir::setCurrent(folder.path());
    if (filter.loadRuleFile("RAWRULE.dat") != 0 || filter.loadRuleFile("JIPRULE.dat") != 0 ||
        filter.loadIpRange() != 0) {
        qWarning("a rule file did not load");
    }
    return filter;
}

QList<int> ruleIds(ostrum::HttpFilter& filter) {
    QList<int> ids;
    for (const ostrum::rulenode& rule : filter.rules().rules()) {
        ids.append(rule.id);
    }
    return ids;
}

void closeWindows() {
    unload<crule>();
    unload<crulewin>();
    unload<jrule>();
    unload<mantype>();
    unload<jrulewin>();
    unload<cl>();
    unload<clwin>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QDir::setCurrent(QDir::tempPath());
}

} // namespace

class EditorSavesTest : public QObject {
    Q_OBJECT

private slots:
    void init() { module().uiLanguage = 0; }
    void cleanup() { closeWindows(); }

    void attackRuleSavesKeepOtherLines();
    void remarkLinesFollowTheirRule();
    void patchRuleSavesKeepOtherLines();
    void connLimitSavesKeepOtherLines();
    void charactersOutsideTheCodePageAreRefused();
    void failedPatchRuleSavesPutTheListBack();
    void idsAreOnesTheServiceLoads();
    void patternsMustCompile();
    void fileChangedMeanwhileIsNotOverwritten();
};

void EditorSavesTest::attackRuleSavesKeepOtherLines() {
    ProgramFolder folder;
    const QByteArray bytesOutsideTheCodePage("\xff\xfe");
    folder.write("RAWRULE.dat",
                 crlf({"# attack rules, kept", "RULEDESC  \"old remark\"",
                       "RAWRULE  \"1,url,raw,find,log\"  \"a\"", "JIPTYPE  num  \"^\\d+$\""}) +
                     "RAWRULE  \"2,url,raw,find,block\"  \"" + bytesOutsideTheCodePage + "\"\r\n" +
                     "RAWRULE  \"3,url,raw,regex,log\"  \"x ruledesc \"y\"\"\n" +
                     crlf({"  hand written, unrecognised", "RULEDESC  \"dangling\""}));
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    QCOMPARE(rowCount(w, "crList"), 3);
    // A pattern holding the remark keyword is still a rule.
    QCOMPARE(cell(w, "crList", 2, 5), QStringLiteral("x ruledesc \"y\""));

    selectOnly(child<QTreeWidget>(w, "crList"), 0);
    QVERIFY(okIn<crule>([&] { menu(w, "editBtn"); },
                        [](crule& d) { setText(d, "descText", QStringLiteral("new remark")); }));
    QVERIFY(okIn<crule>([&] { menu(w, "addBtn"); },
                        [](crule& d) { setText(d, "regexText", QStringLiteral("b+")); }));
    QCOMPARE(folder.read("RAWRULE.dat"),
             crlf({"# attack rules, kept", "RULEDESC  \"new remark\"",
                   "RAWRULE  \"1,url,raw,find,log\"  \"a\"", "JIPTYPE  num  \"^\\d+$\""}) +
                 "RAWRULE  \"2,url,raw,find,block\"  \"" + bytesOutsideTheCodePage + "\"\r\n" +
                 crlf({"RAWRULE  \"3,url,raw,regex,log\"  \"x ruledesc \"y\"\"",
                       "RAWRULE  \"4,argget,normal,regex,log\"  \"b+\"",
                       "  hand written, unrecognised", "RULEDESC  \"dangling\""}));
    QVERIFY(recorder.messages().isEmpty());

    ostrum::HttpFilter filter;
    QCOMPARE(ruleIds(loaded(folder, filter)), (QList<int>{1, 2, 3, 4}));
    QCOMPARE(filter.rules().rules()[1].pat, std::string("\xff\xfe"));
}

void EditorSavesTest::remarkLinesFollowTheirRule() {
    using attackrule::PlacedRule;
    const QByteArrayList lines = {"RULEDESC  \"one\"",
                                  "# between",
                                  "RAWRULE  \"1,url,raw,find,log\"  \"a\"",
                                  "RAWRULE  \"2,url,raw,find,log\"  \"b\"",
                                  "RULEDESC  \"three\"",
                                  "RAWRULE  \"3,url,raw,find,log\"  \"c\""};
    QList<PlacedRule> rules;
    attackrule::AttackRuleReader reader;
    for (int i = 0; i < lines.size(); ++i) {
        if (const auto read = reader.read(QString::fromLatin1(lines[i]), i)) {
            rules.append({read->rule, i, read->remarkAt});
        }
    }
    QCOMPARE(rules.size(), 3);
    QCOMPARE(rules[0].remarkAt, 0);
    // Remark cleared, remark given to a rule without one, rule deleted with its remark.
    rules[0].rule.desc.clear();
    rules[1].rule.desc = QStringLiteral("two");
    rules.removeLast();
    QCOMPARE(attackrule::attackRuleFile(lines, rules),
             crlf({"# between", "RAWRULE  \"1,url,raw,find,log\"  \"a\"", "RULEDESC  \"two\"",
                   "RAWRULE  \"2,url,raw,find,log\"  \"b\""}));
}

void EditorSavesTest::patchRuleSavesKeepOtherLines() {
    ProgramFolder folder;
    // Longer than any line cap a reader might have had.
    const QByteArray longRule =
        "JIPRULE  5  h::80::/" + QByteArray(20000, 'l') + "::g::p  num::0-9";
    folder.write("JIPRULE.dat",
                 crlf({"# patch rules, kept", "JIPTYPE  num \"^[0-9]+$\"",
                       "RAWRULE  \"1,url,raw,find,log\"  \"a\"", "JIPTYPE  num \"^repeated$\"",
                       "JIPRULE  3  h::80::/u::g::id  num::0-9"}) +
                     longRule + "\r\n" + crlf({"# tail"}));
    MessageRecorder recorder;
    jrulewin& w = window<jrulewin>();
    QCOMPARE(rowCount(w, "jrList"), 2);
    QCOMPARE(cell(w, "jrList", 1, 3).size(), 20001);

    selectOnly(child<QTreeWidget>(w, "jrList"), 0);
    QVERIFY(okIn<jrule>([&] { menu(w, "editBtn"); },
                        [](jrule& d) { setText(d, "maxLenText", QStringLiteral("12")); }));
    QVERIFY(okIn<jrule>([&] { menu(w, "addBtn"); },
                        [](jrule& d) { patchRule(d, QStringLiteral("h"), QStringLiteral("q")); }));
    addType(w, QStringLiteral("word"), QStringLiteral("^[a-z]+$"));
    QCOMPARE(folder.read("JIPRULE.dat"),
             crlf({"# patch rules, kept", "JIPTYPE  num \"^[0-9]+$\"", "JIPTYPE  word \"^[a-z]+$\"",
                   "RAWRULE  \"1,url,raw,find,log\"  \"a\"", "JIPTYPE  num \"^repeated$\"",
                   "JIPRULE  3  h::80::/u::g::id  num::0-12"}) +
                 longRule + "\r\n" + crlf({"JIPRULE  6  h::80::/u::g::q  num::0-0", "# tail"}));
    QVERIFY(recorder.messages().isEmpty());

    ostrum::HttpFilter filter;
    const auto& constraints = loaded(folder, filter).rules().constraints();
    QCOMPARE(int(constraints.size()), 3);
    QCOMPARE(constraints.at("h::80::/u::g::id").maxlen, 12u);
    QCOMPARE(int(filter.rules().safestrTypes().size()), 3);

    // A long line that is almost a rule ends its reading too, as no rule.
    JTypeDic types;
    QList<PatchRule> rules;
    const QString nearly = QStringLiteral("JIPRULE 1 ") + QStringLiteral("a::").repeated(50000) +
                           QStringLiteral(" x-");
    QVERIFY(!readPatchRuleLine(nearly, types, rules));
}

void EditorSavesTest::connLimitSavesKeepOtherLines() {
    ProgramFolder folder;
    folder.write("iprange.dat", crlf({"# limits, kept", "CONNLIMIT 15 10.6.0.1-10.6.0.9 noquotes",
                                      "CONNLIMIT  5  10.0.0.1-10.0.0.9  \"office\"",
                                      "CONNLIMIT  7  10.7.0.1-10.7.0.9  \"gone\"", "# tail"}));
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    QCOMPARE(rowCount(w, "ipList"), 2);
    QVERIFY(okIn<cl>([&] { menu(w, "addBtn"); },
                     [](cl& d) {
                         setText(d, "psText", QStringLiteral("lab"));
                         setText(d, "ipsText", QStringLiteral("172.16.0.1-172.16.0.9"));
                     }));
    recorder.answerNext(MessageAnswer::Yes);
    selectOnly(child<QTreeWidget>(w, "ipList"), 1);
    menu(w, "delBtn");
    QCOMPARE(folder.read("iprange.dat"),
             crlf({"# limits, kept", "CONNLIMIT 15 10.6.0.1-10.6.0.9 noquotes",
                   "CONNLIMIT  5  10.0.0.1-10.0.0.9  \"office\"",
                   "CONNLIMIT  1000  172.16.0.1-172.16.0.9  \"lab\"", "# tail"}));

    ostrum::HttpFilter filter;
    const auto& ranges = loaded(folder, filter).rules().ipRanges();
    QCOMPARE(int(ranges.size()), 3);
    QCOMPARE(ranges[0].maxconn, 15u);
    QCOMPARE(ranges[2].maxconn, 1000u);
}

void EditorSavesTest::charactersOutsideTheCodePageAreRefused() {
    ProgramFolder folder;
    folder.write("RAWRULE.dat", crlf({"RAWRULE  \"1,url,raw,find,log\"  \"a\""}));
    folder.write("JIPRULE.dat", crlf({"JIPTYPE  num \"^[0-9]+$\""}));
    folder.write("iprange.dat", QByteArray());
    const QByteArray rules = folder.read("RAWRULE.dat");
    const QByteArray patches = folder.read("JIPRULE.dat");
    const QString umlaut = QString::fromUtf8("umlaut-ö-x");
    MessageRecorder recorder;

    crulewin& attack = window<crulewin>();
    QVERIFY(!okIn<crule>([&] { menu(attack, "addBtn"); },
                         [&](crule& d) { setText(d, "regexText", umlaut); }));
    QCOMPARE(recorder.texts(), QStringList{kMissingO});
    QCOMPARE(recorder.messages()[0].title, QStringLiteral("Intrusion Rules Editor"));
    QCOMPARE(folder.read("RAWRULE.dat"), rules);
    // A character the code page has ("ü" in GBK) passes.
    QVERIFY(okIn<crule>([&] { menu(attack, "addBtn"); },
                        [&](crule& d) {
                            setText(d, "regexText", QStringLiteral("x"));
                            setText(d, "descText", QString::fromUtf8("grün"));
                        }));
    QCOMPARE(cell(attack, "crList", 1, 6), QString::fromUtf8("grün"));
    unload<crulewin>();

    recorder.clear();
    jrulewin& patch = window<jrulewin>();
    QVERIFY(!okIn<jrule>([&] { menu(patch, "addBtn"); },
                         [&](jrule& d) { patchRule(d, umlaut, QStringLiteral("p")); }));
    addType(patch, umlaut, QStringLiteral("^x$"));
    QCOMPARE(recorder.texts(), (QStringList{kMissingO, kMissingO}));
    QCOMPARE(folder.read("JIPRULE.dat"), patches);
    unload<jrulewin>();

    recorder.clear();
    clwin& limits = window<clwin>();
    QVERIFY(!okIn<cl>([&] { menu(limits, "addBtn"); },
                      [&](cl& d) {
                          setText(d, "psText", umlaut);
                          setText(d, "ipsText", QStringLiteral("10.0.0.1-10.0.0.2"));
                      }));
    QCOMPARE(recorder.texts(), QStringList{kMissingO});
    QCOMPARE(folder.read("iprange.dat"), QByteArray());
}

void EditorSavesTest::failedPatchRuleSavesPutTheListBack() {
    ProgramFolder folder;
    folder.write("JIPRULE.dat",
                 crlf({"JIPTYPE  num \"^[0-9]+$\"", "JIPRULE  3  h::80::/u::g::id  num::0-9"}));
    MessageRecorder recorder;
    jrulewin& w = window<jrulewin>();
    // A folder where the file was: nothing can replace it.
    QFile::remove(folder.file("JIPRULE.dat"));
    QVERIFY(QDir().mkdir(folder.file("JIPRULE.dat")));

    QVERIFY(!okIn<jrule>([&] { menu(w, "addBtn"); },
                         [](jrule& d) { patchRule(d, QStringLiteral("h"), QStringLiteral("q")); }));
    QCOMPARE(rowCount(w, "jrList"), 1);
    recorder.answerNext(MessageAnswer::Yes);
    selectOnly(child<QTreeWidget>(w, "jrList"), 0);
    menu(w, "delBtn");
    QCOMPARE(rowCount(w, "jrList"), 1);
    QCOMPARE(cell(w, "jrList", 0, 0), QStringLiteral("3"));
    selectOnly(child<QTreeWidget>(w, "jrList"), 0);
    QVERIFY(!okIn<jrule>([&] { menu(w, "editBtn"); },
                         [](jrule& d) { setText(d, "paramText", QStringLiteral("other")); }));
    QCOMPARE(cell(w, "jrList", 0, 5), QStringLiteral("id"));
    addType(w, QStringLiteral("word"), QStringLiteral("^w$"));
    QCOMPARE(w.jtypeDic.keys(), QStringList{QStringLiteral("num")});

    const QStringList texts = recorder.texts();
    QCOMPARE(texts.size(), 5);
    QCOMPARE(texts.filter(QStringLiteral("Can not write the file: ")).size(), 4);
}

void EditorSavesTest::idsAreOnesTheServiceLoads() {
    QCOMPARE(proposedIdText({"1", "2", "2147483647"}), QStringLiteral("3"));
    QCOMPARE(proposedIdText({"2147483646"}), QStringLiteral("2147483647"));
    QVERIFY(isServiceId(QStringLiteral(" 7 ")));
    for (const char* refused : {"0", "-1", "2147483648", "1.5", "", "x1"}) {
        QVERIFY2(!isServiceId(QString::fromLatin1(refused)), refused);
    }

    ProgramFolder folder;
    folder.write("RAWRULE.dat", crlf({"RAWRULE  \"2147483647,url,raw,find,log\"  \"a\"",
                                      "RAWRULE  \"1,url,raw,find,log\"  \"b\"",
                                      "RAWRULE  \"0,url,raw,find,log\"  \"c\""}));
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    QString proposed;
    QVERIFY(okIn<crule>([&] { menu(w, "addBtn"); },
                        [&proposed](crule& d) {
                            proposed = child<QLineEdit>(d, "idText")->text();
                            setText(d, "regexText", QStringLiteral("d"));
                        }));
    QCOMPARE(proposed, QStringLiteral("2"));

    // A row the service drops for its id opens with the id to correct.
    selectOnly(child<QTreeWidget>(w, "crList"), 2);
    QVERIFY(!okIn<crule>([&] { menu(w, "editBtn"); },
                         [](crule& d) { QVERIFY(child<QLineEdit>(d, "idText")->isEnabled()); }));
    QCOMPARE(recorder.texts(), QStringList{kBadId});
    selectOnly(child<QTreeWidget>(w, "crList"), 2);
    QVERIFY(okIn<crule>([&] { menu(w, "editBtn"); },
                        [](crule& d) { setText(d, "idText", QStringLiteral("9")); }));
    ostrum::HttpFilter filter;
    QCOMPARE(ruleIds(loaded(folder, filter)), (QList<int>{2147483647, 1, 9, 2}));

    unload<crulewin>();
    folder.write("JIPRULE.dat",
                 crlf({"JIPTYPE  num \"^[0-9]+$\"", "JIPRULE  0  h::80::/u::g::id  num::0-9"}));
    recorder.clear();
    jrulewin& patches = window<jrulewin>();
    selectOnly(child<QTreeWidget>(patches, "jrList"), 0);
    QVERIFY(!okIn<jrule>([&] { menu(patches, "editBtn"); }, [](jrule&) {}));
    QCOMPARE(recorder.texts(), QStringList{kBadId});
    selectOnly(child<QTreeWidget>(patches, "jrList"), 0);
    QVERIFY(okIn<jrule>([&] { menu(patches, "editBtn"); },
                        [](jrule& d) { setText(d, "idText", QStringLiteral("4")); }));
    QCOMPARE(folder.read("JIPRULE.dat"),
             crlf({"JIPTYPE  num \"^[0-9]+$\"", "JIPRULE  4  h::80::/u::g::id  num::0-9"}));
}

void EditorSavesTest::patternsMustCompile() {
    ProgramFolder folder;
    folder.write("RAWRULE.dat", QByteArray());
    folder.write("JIPRULE.dat", crlf({"JIPTYPE  num \"^[0-9]+$\""}));
    MessageRecorder recorder;
    crulewin& w = window<crulewin>();
    QVERIFY(!okIn<crule>([&] { menu(w, "addBtn"); },
                         [](crule& d) { setText(d, "regexText", QStringLiteral("[unclosed")); }));
    QCOMPARE(recorder.texts().size(), 1);
    QVERIFY2(recorder.texts()[0].startsWith(
                 "Regex can not be compiled: missing terminating ] for character class"),
             qPrintable(recorder.texts()[0]));
    QCOMPARE(folder.read("RAWRULE.dat"), QByteArray());
    // A string compare takes the text as it is.
    QVERIFY(okIn<crule>([&] { menu(w, "addBtn"); },
                        [](crule& d) {
                            choose(d, "cmCombo", QStringLiteral("String Find"));
                            setText(d, "regexText", QStringLiteral("[unclosed"));
                        }));

    unload<crulewin>();
    recorder.clear();
    jrulewin& patches = window<jrulewin>();
    addType(patches, QStringLiteral("broken"), QStringLiteral("(a"));
    addType(patches, QStringLiteral("blank"), QString());
    QCOMPARE(recorder.texts().size(), 2);
    QVERIFY(
        recorder.texts()[0].startsWith("Regex can not be compiled: missing closing parenthesis"));
    QCOMPARE(recorder.texts()[1], QStringLiteral("Regex can not be empty!"));
    QCOMPARE(folder.read("JIPRULE.dat"), crlf({"JIPTYPE  num \"^[0-9]+$\""}));

    ostrum::HttpFilter filter;
    QCOMPARE(ruleIds(loaded(folder, filter)), QList<int>{1});
}

void EditorSavesTest::fileChangedMeanwhileIsNotOverwritten() {
    ProgramFolder folder;
    folder.write("iprange.dat", crlf({"CONNLIMIT  5  10.0.0.1-10.0.0.9  \"office\""}));
    MessageRecorder recorder;
    clwin& w = window<clwin>();
    const QByteArray byHand =
        folder.read("iprange.dat") + crlf({"CONNLIMIT  9  10.9.0.1-10.9.0.9  \"by hand\""});
    folder.write("iprange.dat", byHand);
    const auto addLab = [&w] {
        return okIn<cl>([&w] { menu(w, "addBtn"); },
                        [](cl& d) {
                            setText(d, "psText", QStringLiteral("lab"));
                            setText(d, "ipsText", QStringLiteral("172.16.0.1-172.16.0.9"));
                        });
    };
    QVERIFY(!addLab());
    QCOMPARE(recorder.texts().size(), 1);
    QVERIFY(recorder.texts()[0].startsWith(
        "The file was changed after it was read; Refresh reads it again: "));
    QCOMPARE(folder.read("iprange.dat"), byHand);
    QCOMPARE(rowCount(w, "ipList"), 1);

    menu(w, "refreshBtn");
    QVERIFY(addLab());
    QCOMPARE(folder.read("iprange.dat"),
             byHand + crlf({"CONNLIMIT  1000  172.16.0.1-172.16.0.9  \"lab\""}));
}

QTEST_MAIN(EditorSavesTest)
#include "editor_saves_test.moc"
