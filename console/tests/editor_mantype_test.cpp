// The parameter-type editor, checked against the service's own loader of
// the patch-rule file it saves through the patch-rule window.
#include "console/editors/jrulewin.h"
#include "console/editors/mantype.h"
#include "console/shell/module.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/program_folder.h"
#include "service/http_filter.h"

#include <QAction>
#include <QDir>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QtTest>
#include <functional>

using console::jrulewin;
using console::mantype;
using console::MessageAnswer;
using console::testing::MessageRecorder;
using console::testing::ProgramFolder;

namespace {

const QByteArray kFile("# types and rules\r\n"
                       "JIPTYPE  num \"^[0-9]+$\"\r\n"
                       "JIPTYPE  word \"^[a-z]+$\"\r\n"
                       "JIPRULE  1  h::80::/u::g::id  num::0-9\r\n"
                       "JIPRULE  2  h::80::/u::g::name  word::0-0\r\n");

const QByteArray kRules("JIPRULE  1  h::80::/u::g::id  num::0-9\r\n"
                        "JIPRULE  2  h::80::/u::g::name  word::0-0\r\n");

// Runs open(), which shows the editor modally; handle runs once it is up.
// An editor that handle left open is closed after it. False when it never came up.
bool whileOpen(const std::function<void()>& open, const std::function<void(mantype&)>& handle) {
    bool ran = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (ran || !console::isLoaded<mantype>() || !console::window<mantype>().isVisible()) {
            return;
        }
        ran = true;
        poll.stop();
        handle(console::window<mantype>());
        if (console::isLoaded<mantype>()) {
            console::window<mantype>().close();
        }
    });
    poll.start();
    open();
    return ran;
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

// Opens the editor from the patch-rule window's popup menu.
bool withEditor(jrulewin& window, const std::function<void(mantype&)>& handle) {
    QAction* item = window.findChild<QMenu*>(QStringLiteral("pMenu"))
                        ->findChild<QAction*>(QStringLiteral("mantypeBtn"));
    if (item == nullptr) {
        return false;
    }
    return whileOpen([item] { item->trigger(); }, handle);
}

void trigger(mantype& editor, const char* action) {
    QAction* item = editor.findChild<QMenu*>(QStringLiteral("sMenu"))
                        ->findChild<QAction*>(QString::fromLatin1(action));
    QVERIFY2(item != nullptr, action);
    item->trigger();
}

QTreeWidget* typeList(mantype& editor) {
    return editor.findChild<QTreeWidget*>(QStringLiteral("typeList"));
}

QLineEdit* field(mantype& editor, const char* name) {
    return editor.findChild<QLineEdit*>(QString::fromLatin1(name));
}

QWidget* panel(mantype& editor) {
    return editor.findChild<QWidget*>(QStringLiteral("Container"));
}

QStringList names(mantype& editor) {
    QStringList list;
    for (int i = 0; i < typeList(editor)->topLevelItemCount(); ++i) {
        list.append(typeList(editor)->topLevelItem(i)->text(0));
    }
    return list;
}

void selectType(mantype& editor, int index) {
    QTreeWidget* list = typeList(editor);
    list->clearSelection();
    list->setCurrentItem(list->topLevelItem(index));
    list->topLevelItem(index)->setSelected(true);
}

void clickList(mantype& editor) {
    QTest::mouseClick(typeList(editor)->viewport(), Qt::LeftButton, {}, QPoint(4, 4));
}

// A click on the window's own surface, which leaves the list's selection alone.
void clickWindow(mantype& editor) {
    QTest::mouseClick(&editor, Qt::LeftButton, {}, QPoint(editor.width() - 3, editor.height() - 3));
}

// Adds a type through the editor the way a user types it.
void typeNewEntry(mantype& editor, const QString& name, const QString& pattern) {
    trigger(editor, "addBtn");
    QTest::keyClicks(field(editor, "tname"), name);
    QTest::keyClick(field(editor, "tname"), Qt::Key_Return);
    QTest::keyClicks(field(editor, "tregex"), pattern);
    QTest::keyClick(field(editor, "tregex"), Qt::Key_Return);
}

std::vector<std::pair<std::string, std::string>> serviceTypes(const ProgramFolder& folder,
                                                              ostrum::HttpFilter& filter) {
    QDir::setCurrent(folder.path());
    std::vector<std::pair<std::string, std::string>> types;
    if (filter.loadRuleFile(folder.file(QStringLiteral("JIPRULE.dat")).toStdString()) != 0) {
        return types;
    }
    for (const ostrum::typenode& type : filter.rules().safestrTypes()) {
        types.emplace_back(type.name, type.pat);
    }
    return types;
}

} // namespace

class EditorMantypeTest : public QObject {
    Q_OBJECT

private slots:
    void init() { console::module().uiLanguage = 0; }
    void cleanup() {
        closeWindow();
        // The service's loader ran in a program folder that is gone now.
        QDir::setCurrent(QDir::tempPath());
    }

    void addEditDeleteReachTheService();
    void repeatedNamesAreRefused();
    void editorIsPlacedByTheRows();
    void escapeAndRefreshDropThePendingEntry();
    void rendersInEveryLanguage();
};

void EditorMantypeTest::addEditDeleteReachTheService() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), kFile);
    jrulewin& window = openWindow();
    QVERIFY(withEditor(window, [&](mantype& editor) {
        QCOMPARE(names(editor), (QStringList{"num", "word"}));
        QVERIFY(!panel(editor)->isVisible());

        // Typed quotes never appear; nor do blanks in a name.
        trigger(editor, "addBtn");
        QVERIFY(panel(editor)->isVisible());
        QCOMPARE(editor.focusWidget(), field(editor, "tname"));
        QTest::keyClicks(field(editor, "tname"), QStringLiteral("my \"ty pe"));
        QCOMPARE(field(editor, "tname")->text(), QStringLiteral("mytype"));
        QTest::keyClick(field(editor, "tname"), Qt::Key_Return);
        QCOMPARE(editor.focusWidget(), field(editor, "tregex"));
        QTest::keyClicks(field(editor, "tregex"), QStringLiteral("^[a\"b ]+$"));
        QCOMPARE(field(editor, "tregex")->text(), QStringLiteral("^[ab ]+$"));
        QTest::keyClick(field(editor, "tregex"), Qt::Key_Return);
        QVERIFY(!panel(editor)->isVisible());
        QCOMPARE(names(editor), (QStringList{"num", "word", "mytype"}));
        QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), "# types and rules\r\n"
                                                             "JIPTYPE  num \"^[0-9]+$\"\r\n"
                                                             "JIPTYPE  word \"^[a-z]+$\"\r\n"
                                                             "JIPTYPE  mytype \"^[ab ]+$\"\r\n" +
                                                                 kRules);

        // Edit the pattern in place; a click on the list commits it.
        selectType(editor, 1);
        trigger(editor, "editBtn");
        QCOMPARE(field(editor, "tname")->text(), QStringLiteral("word"));
        field(editor, "tregex")->setText(QStringLiteral("  ^[a-z]*$ "));
        clickList(editor);
        QCOMPARE(typeList(editor)->topLevelItem(1)->text(1), QStringLiteral("^[a-z]*$"));

        // Delete asks first; the rules keep naming the deleted type.
        selectType(editor, 0);
        recorder.answerNext(MessageAnswer::No);
        trigger(editor, "delBtn");
        QCOMPARE(names(editor).size(), 3);
        trigger(editor, "delBtn");
        QCOMPARE(names(editor), (QStringList{"word", "mytype"}));
    }));
    QCOMPARE(recorder.texts(),
             (QStringList{"Click to Delete:\"num\".", "Click to Delete:\"num\"."}));
    QCOMPARE(recorder.messages()[0].title, QStringLiteral("Parameter Type Editor"));
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), "# types and rules\r\n"
                                                         "JIPTYPE  word \"^[a-z]*$\"\r\n"
                                                         "JIPTYPE  mytype \"^[ab ]+$\"\r\n" +
                                                             kRules);
    QCOMPARE(window.jtypeDic.keys(), (QStringList{"word", "mytype"}));

    ostrum::HttpFilter filter;
    const std::vector<std::pair<std::string, std::string>> expected = {{"word", "^[a-z]*$"},
                                                                       {"mytype", "^[ab ]+$"}};
    QCOMPARE(serviceTypes(folder, filter), expected);
    const auto& constraints = filter.rules().constraints();
    QCOMPARE(constraints.at("h::80::/u::g::id").items.front().type, std::string("num"));
    // The rule of the deleted type now fails every value; the other one holds.
    QCOMPARE(filter.rules().checkParamConstraint("h", "80", "/u", "id", 'g', "5"), 1);
    QCOMPARE(filter.rules().checkParamConstraint("h", "80", "/u", "name", 'g', "abc"), 0);
    QCOMPARE(filter.rules().checkParamConstraint("h", "80", "/u", "name", 'g', "ab1"), 2);
}

void EditorMantypeTest::repeatedNamesAreRefused() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), kFile);
    jrulewin& window = openWindow();
    QVERIFY(withEditor(window, [&](mantype& editor) {
        typeNewEntry(editor, QStringLiteral("num"), QStringLiteral("^x$"));
        QCOMPARE(recorder.texts(), QStringList{QString::fromUtf8("Item already exists！")});
        QCOMPARE(recorder.messages()[0].title, QStringLiteral("Parameter Type Editor"));
        QCOMPARE(names(editor), (QStringList{"num", "word"}));
        QVERIFY(!panel(editor)->isVisible());
        // The fields were changed, so the file was saved: with nothing to change in it.
        QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), kFile);

        // Another case is another name.
        typeNewEntry(editor, QStringLiteral("NUM"), QStringLiteral("^[0-9]{2}$"));
        QCOMPARE(names(editor), (QStringList{"num", "word", "NUM"}));

        // Renaming onto another row's name is refused; keeping the own name is not.
        recorder.clear();
        selectType(editor, 1);
        trigger(editor, "editBtn");
        field(editor, "tname")->setText(QStringLiteral("num"));
        clickWindow(editor);
        QCOMPARE(recorder.texts().size(), 1);
        QCOMPARE(names(editor), (QStringList{"num", "word", "NUM"}));
        trigger(editor, "editBtn");
        field(editor, "tregex")->setText(QStringLiteral("^w+$"));
        clickWindow(editor);
        QCOMPARE(recorder.texts().size(), 1);
        QCOMPARE(typeList(editor)->topLevelItem(1)->text(1), QStringLiteral("^w+$"));

        // Names that the saved file would make equal are equal already.
        trigger(editor, "addBtn");
        field(editor, "tname")->setText(QStringLiteral(" word "));
        clickWindow(editor);
        QCOMPARE(recorder.texts().size(), 2);

        // An empty name adds nothing and says nothing.
        trigger(editor, "addBtn");
        field(editor, "tregex")->setText(QStringLiteral("^y$"));
        clickWindow(editor);
        QCOMPARE(recorder.texts().size(), 2);
        QCOMPARE(names(editor).size(), 3);
        QVERIFY(!panel(editor)->isVisible());
    }));
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), "# types and rules\r\n"
                                                         "JIPTYPE  num \"^[0-9]+$\"\r\n"
                                                         "JIPTYPE  word \"^w+$\"\r\n"
                                                         "JIPTYPE  NUM \"^[0-9]{2}$\"\r\n" +
                                                             kRules);
    ostrum::HttpFilter filter;
    QCOMPARE(serviceTypes(folder, filter).size(), size_t(3));
    QCOMPARE(filter.rules().checkParamConstraint("h", "80", "/u", "id", 'g', "5"), 0);
}

void EditorMantypeTest::editorIsPlacedByTheRows() {
    ProgramFolder folder;
    MessageRecorder recorder;
    folder.write(QStringLiteral("JIPRULE.dat"), QByteArray());
    jrulewin& window = openWindow();
    QVERIFY(withEditor(window, [&](mantype& editor) {
        QTreeWidget* list = typeList(editor);
        const QPoint listCorner(console::twips(list->x()), console::twips(list->y()));
        const int firstRowTop = console::twips(list->viewport()->y());
        trigger(editor, "addBtn");
        QCOMPARE(editor.editorTwipsForTest().topLeft() - listCorner, QPoint(30, firstRowTop));
        QCOMPARE(editor.editorTwipsForTest().width(), 8805);
        QCOMPARE(field(editor, "tregex")->width(), console::pixels(7125));

        // With rows: one row below the last.
        field(editor, "tname")->setText(QStringLiteral("t0"));
        field(editor, "tregex")->setText(QStringLiteral("x"));
        clickWindow(editor);
        trigger(editor, "addBtn");
        const QRect last = list->visualItemRect(list->topLevelItem(0));
        QCOMPARE(panel(editor)->y() - list->y() - list->viewport()->y(), last.bottom() + 1);

        // Many rows: the editor covers the last row, narrowed once.
        for (int i = 1; i < 22; ++i) {
            field(editor, "tname")->setText(QStringLiteral("t%1").arg(i));
            field(editor, "tregex")->setText(QStringLiteral("x"));
            clickWindow(editor);
            trigger(editor, "addBtn");
        }
        QCOMPARE(list->topLevelItemCount(), 22);
        const QRect covered = list->visualItemRect(list->topLevelItem(21));
        QCOMPARE(panel(editor)->y() - list->y() - list->viewport()->y(), covered.top());
        QCOMPARE(editor.editorTwipsForTest().width(), 8555);
        QCOMPARE(field(editor, "tregex")->width(), console::pixels(7125 - 250));
        selectType(editor, 3);
        trigger(editor, "editBtn");
        QCOMPARE(editor.editorTwipsForTest().width(), 8555);

        // Back to 20 rows: full width again.
        clickWindow(editor);
        for (int i = 0; i < 2; ++i) {
            selectType(editor, 0);
            trigger(editor, "delBtn");
        }
        QCOMPARE(list->topLevelItemCount(), 20);
        selectType(editor, 0);
        trigger(editor, "editBtn");
        QCOMPARE(editor.editorTwipsForTest().width(), 8805);
        QCOMPARE(editor.editorTwipsForTest().left() - listCorner.x(), 30);
    }));
    QCOMPARE(window.jtypeDic.count(), 20);
    QCOMPARE(window.jtypeDic.key(19), QStringLiteral("t21"));
}

void EditorMantypeTest::escapeAndRefreshDropThePendingEntry() {
    ProgramFolder folder;
    folder.write(QStringLiteral("JIPRULE.dat"), kFile);
    jrulewin& window = openWindow();
    QVERIFY(withEditor(window, [&](mantype& editor) {
        trigger(editor, "addBtn");
        QTest::keyClicks(field(editor, "tname"), QStringLiteral("gone"));
        QTest::keyClick(field(editor, "tname"), Qt::Key_Escape);
        QVERIFY(!panel(editor)->isVisible());
        clickList(editor);
        QCOMPARE(names(editor), (QStringList{"num", "word"}));

        // An edit pending while the list is read again never lands on a dropped row.
        selectType(editor, 0);
        trigger(editor, "editBtn");
        field(editor, "tname")->setText(QStringLiteral("renamed"));
        trigger(editor, "refreshBtn");
        QVERIFY(!panel(editor)->isVisible());
        clickList(editor);
        QTest::keyClick(typeList(editor), Qt::Key_Return);
        QCOMPARE(names(editor), (QStringList{"num", "word"}));
    }));
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), kFile);

    // A pending entry is dropped when the editor closes.
    QVERIFY(withEditor(window, [&](mantype& editor) {
        trigger(editor, "addBtn");
        field(editor, "tname")->setText(QStringLiteral("late"));
    }));
    QCOMPARE(folder.read(QStringLiteral("JIPRULE.dat")), kFile);
    QCOMPARE(window.jtypeDic.keys(), (QStringList{"num", "word"}));
}

void EditorMantypeTest::rendersInEveryLanguage() {
    ProgramFolder folder;
    folder.write(QStringLiteral("JIPRULE.dat"), kFile);
    const char* languages[] = {"0", "1", "2"};
    const QStringList titles = {QStringLiteral("Parameter Type Editor"),
                                QString::fromUtf8("参数类型编辑器"),
                                QString::fromUtf8("參數類型編輯器")};
    const QList<QStringList> headers = {{"name", "regex"}, {"名称", "正则式"}, {"名稱", "正則式"}};
    for (int language = 0; language < 3; ++language) {
        console::module().uiLanguage = language;
        jrulewin& window = openWindow();
        QVERIFY(withEditor(window, [&](mantype& editor) {
            selectType(editor, 1);
            trigger(editor, "editBtn");
            const QPixmap shot = editor.grab();
            QVERIFY(shot.save(console::testing::renderFolder() + QStringLiteral("mantype-") +
                              QLatin1String(languages[language]) + QStringLiteral(".png")));
            QCOMPARE(editor.windowTitle(), titles[language]);
            QCOMPARE(typeList(editor)->headerItem()->text(0), headers[language][0]);
            QCOMPARE(typeList(editor)->headerItem()->text(1), headers[language][1]);
            auto* menu = editor.findChild<QMenu*>(QStringLiteral("sMenu"));
            QCOMPARE(menu->title(), QStringLiteral("Operate"));
            QStringList items;
            for (const QAction* action : menu->actions()) {
                items.append(action->text());
            }
            QCOMPARE(items, (QStringList{"Refresh", "Edit", "Add", "Delete"}));
        }));
        closeWindow();
    }
}

QTEST_MAIN(EditorMantypeTest)
#include "editor_mantype_test.moc"
