#include "console/editors/blistwin.h"
#include "console/editors/list_file.h"
#include "console/editors/wlistwin.h"
#include "console/shell/module.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"
#include "console/tests/support/message_recorder.h"
#include "console/tests/support/modal.h"
#include "console/tests/support/program_folder.h"
#include "platform/text.h"
#include "service/http_filter.h"

#include <QAction>
#include <QDir>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTreeWidget>
#include <QtTest>
#include <algorithm>
#include <memory>

using namespace console;
using console::testing::menu;

namespace {

const QByteArray kFile = "# lists\r\n"
                         "WL_IP   \"10.0.0.1\"\r\n"
                         "BL_IP   \"10.9.9.9\"\r\n"
                         "\r\n"
                         "WL_URL   \"/public/\"\r\n"
                         "BL_URL   \"/admin/\"\r\n"
                         "WL_EXT   \"css\"\r\n"
                         "BL_EXT   \"bak\"\r\n"
                         "# hosts\r\n"
                         "WL_HOST   \"intranet.example.com\"\r\n"
                         "BL_HOST   \"bad.example.com\"\r\n"
                         "WL_IP   \"10.0.0.2\"\r\n";

QTreeWidget* listOf(QWidget& w) {
    return w.findChild<QTreeWidget*>(QStringLiteral("bwList"));
}

QLineEdit* editorOf(QWidget& w) {
    return w.findChild<QLineEdit*>(QStringLiteral("rvalue"));
}

QFrame* containerOf(QWidget& w) {
    return w.findChild<QFrame*>(QStringLiteral("Container"));
}

QLabel* tabOf(QWidget& w, int index) {
    return w.findChild<QLabel*>(QStringLiteral("listBtn%1").arg(index));
}

QStringList rowsOf(QWidget& w) {
    QStringList rows;
    QTreeWidget* list = listOf(w);
    for (int i = 0; i < list->topLevelItemCount(); ++i) {
        rows.append(list->topLevelItem(i)->text(0));
    }
    return rows;
}

void clickTab(QWidget& w, int index) {
    QTest::mouseClick(tabOf(w, index), Qt::LeftButton);
}

void selectRow(QWidget& w, int row) {
    listOf(w)->clearSelection();
    listOf(w)->topLevelItem(row)->setSelected(true);
}

// Key presses that carry any character, Chinese ones too.
void type(QWidget& w, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(editorOf(w), &press);
    }
}

void typeAndEnter(QWidget& w, const QString& text) {
    type(w, text);
    QTest::keyClick(editorOf(w), Qt::Key_Return);
}

void add(QWidget& w, const QString& text) {
    menu(w, "addBtn");
    typeAndEnter(w, text);
}

void edit(QWidget& w, int row, const QString& text) {
    selectRow(w, row);
    menu(w, "editBtn");
    editorOf(w)->clear();
    typeAndEnter(w, text);
}

// The service's view of the file: "KEY value" per entry, in file order.
QStringList serviceEntries(const testing::ProgramFolder& folder) {
    QDir::setCurrent(folder.path());
    ostrum::HttpFilter filter;
    QStringList out;
    if (filter.loadWbList() != 0) {
        return {QStringLiteral("not loaded")};
    }
    for (const ostrum::wblistitem& item : filter.listEntries()) {
        out.append(QString::fromStdString(std::string(ostrum::listKeyword(item.listcode))) + ' ' +
                   QString::fromStdString(platform::ansiToUtf8(item.value)));
    }
    return out;
}

// What the window shows in all four tabs, as the service compares it.
QStringList shownEntries(ListWindow& w, const QStringList& keys) {
    QStringList out;
    for (int tab = 0; tab < 4; ++tab) {
        clickTab(w, tab);
        for (const QString& row : rowsOf(w)) {
            std::string value = platform::utf8ToAnsi(row.toStdString());
            ostrum::lowerListValue(value);
            out.append(keys[tab] + ' ' + QString::fromStdString(platform::ansiToUtf8(value)));
        }
    }
    return out;
}

template <class W> W& open() {
    W& w = window<W>();
    w.show();
    return w;
}

template <class W> void close() {
    unload<W>();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

const QStringList kWhiteKeys = {"WL_IP", "WL_URL", "WL_EXT", "WL_HOST"};
const QStringList kBlackKeys = {"BL_IP", "BL_URL", "BL_EXT", "BL_HOST"};

// The entries whose key begins with prefix, grouped by key, each list in its order.
QStringList listsOf(const QStringList& all, const QString& prefix) {
    QStringList out;
    for (const QString& entry : all) {
        if (entry.startsWith(prefix)) {
            out.append(entry);
        }
    }
    std::stable_sort(out.begin(), out.end(), [](const QString& a, const QString& b) {
        return a.section(' ', 0, 0) < b.section(' ', 0, 0);
    });
    return out;
}

} // namespace

class EditorListsTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void serviceSeesWhatTheWindowsShow();
    void savingOneListKeepsEveryOtherLine();
    void readsLooseLinesAndRewritesThemInWrittenForm();
    void refusesDuplicatesAndEmptyTexts();
    void tabClickCommitsToTheShownList();
    void placesAndSizesTheEditor();
    void deletesOnlyOnYes();
    void editorKeysAndRefresh();
    void badFilesAreNeverOverwritten();
    void rendersEveryTabInEveryLanguage();

private:
    std::unique_ptr<testing::ProgramFolder> m_folder;
};

void EditorListsTest::init() {
    m_folder = std::make_unique<testing::ProgramFolder>();
    m_folder->write(QStringLiteral("wblist.dat"), kFile);
    module().uiLanguage = 0;
}

void EditorListsTest::cleanup() {
    close<wlistwin>();
    close<blistwin>();
    m_folder.reset();
}

void EditorListsTest::serviceSeesWhatTheWindowsShow() {
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    QCOMPARE(rowsOf(w), QStringList({"10.0.0.1", "10.0.0.2"}));
    add(w, " 10.0.0.3 ");
    edit(w, 0, "10.0.0.10");
    selectRow(w, 1);
    menu(w, "delBtn");
    clickTab(w, 3);
    add(w, QStringLiteral("测试.Example.com"));
    QCOMPARE(rowsOf(w), QStringList({"intranet.example.com", QStringLiteral("测试.Example.com")}));
    QCOMPARE(recorder.texts().size(), 1); // the delete question
    QStringList service = serviceEntries(*m_folder);
    QCOMPARE(listsOf(service, "WL_"), listsOf(shownEntries(w, kWhiteKeys), "WL_"));
    QCOMPARE(listsOf(service, "WL_IP"), QStringList({"WL_IP 10.0.0.10", "WL_IP 10.0.0.3"}));
    close<wlistwin>();

    blistwin& b = open<blistwin>();
    clickTab(b, 1);
    add(b, "/Setup.PHP");
    edit(b, 0, "/manager/");
    clickTab(b, 2);
    selectRow(b, 0);
    menu(b, "delBtn");
    service = serviceEntries(*m_folder);
    QCOMPARE(listsOf(service, "BL_"), listsOf(shownEntries(b, kBlackKeys), "BL_"));
    QCOMPARE(listsOf(service, "BL_"), QStringList({"BL_HOST bad.example.com", "BL_IP 10.9.9.9",
                                                   "BL_URL /manager/", "BL_URL /setup.php"}));
    QCOMPARE(listsOf(service, "WL_").size(), 6);
}

void EditorListsTest::savingOneListKeepsEveryOtherLine() {
    // A byte outside the code page, an LF-only line end, a last line without one.
    m_folder->write(QStringLiteral("wblist.dat"), "# \xff\xfe odd\nWL_URL   \"/a/\"\r\n"
                                                  "BL_URL   \"/b/\"\r\n  \r\nWL_EXT   \"js\"");
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    clickTab(w, 1);
    add(w, "/c/");
    QCOMPARE(m_folder->read(QStringLiteral("wblist.dat")),
             QByteArray("# \xff\xfe odd\r\nBL_URL   \"/b/\"\r\n  \r\nWL_EXT   \"js\"\r\n"
                        "WL_URL   \"/a/\"\r\nWL_URL   \"/c/\"\r\n"));
    close<wlistwin>();

    // No file: the first save writes the current list alone.
    QFile::remove(m_folder->file(QStringLiteral("wblist.dat")));
    blistwin& b = open<blistwin>();
    QVERIFY(rowsOf(b).isEmpty());
    add(b, "10.1.1.1");
    QCOMPARE(m_folder->read(QStringLiteral("wblist.dat")), QByteArray("BL_IP   \"10.1.1.1\"\r\n"));
}

void EditorListsTest::readsLooseLinesAndRewritesThemInWrittenForm() {
    m_folder->write(QStringLiteral("wblist.dat"), "wl_ip \t \"1.1.1.1\"\r\n"
                                                  "say WL_IP   \"2.2.2.2\" tail\r\n"
                                                  "WL_IP   \"  3.3.3.3  \"\r\n"
                                                  "BL_IP   \"  4.4.4.4  \"\r\n"
                                                  "#WL_IP   \"5.5.5.5\"\r\n"
                                                  "WL_IP   5.5.5.6\r\n"
                                                  "WL_IP   \"\"\r\n"
                                                  "WL_IP   \"5.5.5.7\r\n"
                                                  "WL_IP\"5.5.5.8\"\r\n"
                                                  "BL_URL   \"/q?WL_IP \"9\"\"\r\n");
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    QCOMPARE(rowsOf(w), QStringList({"1.1.1.1", "2.2.2.2", "3.3.3.3"}));
    // The service takes only the third line until the list is saved.
    QCOMPARE(listsOf(serviceEntries(*m_folder), "WL_"), QStringList({"WL_IP   3.3.3.3  "}));
    edit(w, 0, "1.1.1.1");
    QCOMPARE(listsOf(serviceEntries(*m_folder), "WL_"),
             QStringList({"WL_IP 1.1.1.1", "WL_IP 2.2.2.2", "WL_IP 3.3.3.3"}));
    close<wlistwin>();

    // A value quoting another key stays in its own list and in the file.
    blistwin& b = open<blistwin>();
    QCOMPARE(rowsOf(b), QStringList({"  4.4.4.4  "}));
    clickTab(b, 1);
    QCOMPARE(rowsOf(b), QStringList({"/q?WL_IP \"9\""}));
    const QByteArray saved = m_folder->read(QStringLiteral("wblist.dat"));
    QVERIFY(saved.contains("BL_URL   \"/q?WL_IP \"9\"\"\r\n"));
    QVERIFY(saved.contains("WL_IP   5.5.5.6\r\n"));
    QVERIFY(saved.contains("#WL_IP   \"5.5.5.5\"\r\n"));
}

void EditorListsTest::refusesDuplicatesAndEmptyTexts() {
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    add(w, "10.0.0.1");
    QCOMPARE(recorder.texts(), QStringList({QStringLiteral("Item already exists！")}));
    QCOMPARE(recorder.messages().first().title, QStringLiteral("Advanced Setting - White List"));
    add(w, "  ");
    add(w, "");
    QCOMPARE(rowsOf(w), QStringList({"10.0.0.1", "10.0.0.2"}));
    QVERIFY(!containerOf(w)->isVisible());
    recorder.clear();
    edit(w, 0, "10.0.0.1");
    edit(w, 1, "10.0.0.1");
    QCOMPARE(rowsOf(w), QStringList({"10.0.0.1", "10.0.0.2"}));
    module().uiLanguage = 1;
    w.updateCaptions();
    edit(w, 1, "10.0.0.1");
    module().uiLanguage = 2;
    add(w, "10.0.0.2");
    QCOMPARE(recorder.texts(),
             QStringList({QStringLiteral("Item already exists！"), QStringLiteral("该项已存在！"),
                          QStringLiteral("該項已存在！")}));
    QCOMPARE(recorder.messages()[1].title, QStringLiteral("高级设置 - 白名单"));
    add(w, "10.0.0.A");
    add(w, "10.0.0.a");
    QCOMPARE(rowsOf(w), QStringList({"10.0.0.1", "10.0.0.2", "10.0.0.A", "10.0.0.a"}));
}

void EditorListsTest::tabClickCommitsToTheShownList() {
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    menu(w, "addBtn");
    type(w, "10.0.0.7");
    clickTab(w, 2);
    QCOMPARE(w.currentTab(), 2);
    QCOMPARE(rowsOf(w), QStringList({"css"}));
    QVERIFY(m_folder->read(QStringLiteral("wblist.dat")).endsWith("WL_IP   \"10.0.0.7\"\r\n"));
    QCOMPARE(listsOf(serviceEntries(*m_folder), "WL_EXT"), QStringList({"WL_EXT css"}));
    for (int i = 0; i < 4; ++i) {
        const QColor colour = tabOf(w, i)->palette().color(QPalette::WindowText);
        QCOMPARE(colour, i == 2 ? QColor(0, 0, 255) : QColor(0, 0, 0));
    }
    // A click on the list or on the window's background commits as well.
    menu(w, "addBtn");
    type(w, "less");
    QTest::mouseClick(listOf(w)->viewport(), Qt::LeftButton, {}, QPoint(5, 200));
    menu(w, "addBtn");
    type(w, "sass");
    QTest::mouseClick(&w, Qt::LeftButton, {}, QPoint(5, 300));
    QCOMPARE(rowsOf(w), QStringList({"css", "less", "sass"}));
}

void EditorListsTest::placesAndSizesTheEditor() {
    testing::MessageRecorder recorder;
    QFile::remove(m_folder->file(QStringLiteral("wblist.dat")));
    wlistwin& w = open<wlistwin>();
    menu(w, "addBtn");
    QCOMPARE(containerOf(w)->pos(), QPoint(pixels(2160 + 30), pixels(765 + 220)));
    QCOMPARE(containerOf(w)->width(), pixels(7440));
    QCOMPARE(editorOf(w)->width(), pixels(7350));
    for (int i = 0; i < 21; ++i) {
        typeAndEnter(w, QStringLiteral("10.0.1.%1").arg(i));
        menu(w, "addBtn");
    }
    QCOMPARE(containerOf(w)->width(), pixels(7190));
    QCOMPARE(editorOf(w)->width(), pixels(7100));
    // The view is full: the editor lies over the last row.
    QTreeWidget* list = listOf(w);
    const QRect last = list->visualItemRect(list->topLevelItem(20));
    QVERIFY(qAbs(containerOf(w)->y() - list->viewport()->mapTo(&w, last.topLeft()).y()) <= 1);
    QVERIFY(containerOf(w)->isVisible());
}

void EditorListsTest::deletesOnlyOnYes() {
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    selectRow(w, 1);
    recorder.answerNext(MessageAnswer::No);
    menu(w, "delBtn");
    QCOMPARE(recorder.texts(), QStringList({"Click to Delete:\"10.0.0.2\"."}));
    QCOMPARE(rowsOf(w).size(), 2);
    QCOMPARE(m_folder->read(QStringLiteral("wblist.dat")), kFile);
    // A right click off the rows selects none: Edit and Delete do nothing.
    QWidget* viewport = listOf(w)->viewport();
    const QPointF below(5, viewport->height() - 5);
    QMouseEvent press(QEvent::MouseButtonPress, below, viewport->mapToGlobal(below),
                      Qt::RightButton, Qt::RightButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &press);
    w.findChild<QMenu*>(QStringLiteral("pMenu"))->hide();
    QVERIFY(listOf(w)->selectedItems().isEmpty());
    menu(w, "delBtn");
    menu(w, "editBtn");
    QVERIFY(!w.isEditing());
    QCOMPARE(recorder.texts().size(), 1);
    close<wlistwin>();

    blistwin& b = open<blistwin>();
    module().uiLanguage = 1;
    selectRow(b, 0);
    recorder.answerNext(MessageAnswer::No);
    menu(b, "delBtn");
    module().uiLanguage = 0;
    menu(b, "delBtn");
    QCOMPARE(recorder.texts().mid(1),
             QStringList({QStringLiteral("点击删除:\"10.9.9.9\"."),
                          QStringLiteral("Click to Delete：\"10.9.9.9\".")}));
    QVERIFY(rowsOf(b).isEmpty());
    QVERIFY(listsOf(serviceEntries(*m_folder), "BL_IP").isEmpty());
}

void EditorListsTest::editorKeysAndRefresh() {
    testing::MessageRecorder recorder;
    blistwin& w = open<blistwin>();
    menu(w, "addBtn");
    type(w, QStringLiteral("1\"2测\U0001F600"));
    QCOMPARE(editorOf(w)->text(), QStringLiteral("12测"));
    editorOf(w)->insert(QStringLiteral("3\r\n4"));
    QCOMPARE(editorOf(w)->text(), QStringLiteral("12测34"));
    // Esc gives the add up; a later commit adds nothing, and the window stays.
    QTest::keyClick(editorOf(w), Qt::Key_Escape);
    QVERIFY(!containerOf(w)->isVisible());
    QVERIFY(w.isVisible());
    w.commit();
    QCOMPARE(rowsOf(w), QStringList({"10.9.9.9"}));
    QCOMPARE(m_folder->read(QStringLiteral("wblist.dat")), kFile);
    // A double click edits; Refresh drops the open edit and reads the file again.
    const QRect row = listOf(w)->visualItemRect(listOf(w)->topLevelItem(0));
    // As a real double click arrives: a click, then the double click.
    QTest::mouseClick(listOf(w)->viewport(), Qt::LeftButton, {}, row.center());
    QTest::mouseDClick(listOf(w)->viewport(), Qt::LeftButton, {}, row.center());
    QVERIFY(w.isEditing());
    QCOMPARE(editorOf(w)->text(), QStringLiteral("10.9.9.9"));
    menu(w, "refreshBtn");
    QVERIFY(!w.isEditing());
    QVERIFY(!containerOf(w)->isVisible());
    w.commit();
    QCOMPARE(rowsOf(w), QStringList({"10.9.9.9"}));
}

void EditorListsTest::badFilesAreNeverOverwritten() {
    // A folder in the file's place: read as nothing, silently; a save is refused with a message.
    QFile::remove(m_folder->file(QStringLiteral("wblist.dat")));
    QDir().mkpath(m_folder->file(QStringLiteral("wblist.dat")));
    testing::MessageRecorder recorder;
    wlistwin& w = open<wlistwin>();
    QVERIFY(rowsOf(w).isEmpty());
    QVERIFY(recorder.texts().isEmpty());
    add(w, "10.0.0.9");
    QCOMPARE(recorder.texts().size(), 1);
    QVERIFY(recorder.texts().first().startsWith(QStringLiteral("Can not write the file: ")));
    QVERIFY(QFileInfo(m_folder->file(QStringLiteral("wblist.dat"))).isDir());

    const QString big = m_folder->file(QStringLiteral("big.dat"));
    QStringList values;
    m_folder->write(QStringLiteral("big.dat"), QByteArray(17 << 20, 'x') + "\nWL_IP \"1\"");
    QCOMPARE(readListValues(big, QStringLiteral("WL_IP"), values), ListRead::Failed);
    QVERIFY(values.isEmpty());
    QVERIFY(!writeListValues(big, QStringLiteral("WL_IP"), {QStringLiteral("2")}));
    QCOMPARE(m_folder->read(QStringLiteral("big.dat")).size(), (17 << 20) + 10);
    const QString odd = m_folder->file(QStringLiteral("odd.dat"));
    m_folder->write(QStringLiteral("odd.dat"), QByteArray("WL_IP \"a\0b\"\r\n\"\"\"\r\n\r", 19));
    QCOMPARE(readListValues(odd, QStringLiteral("WL_IP"), values), ListRead::Read);
    QCOMPARE(values, QStringList({QString::fromLatin1("a\0b", 3)}));
}

void EditorListsTest::rendersEveryTabInEveryLanguage() {
    struct Texts {
        const char* tabs[2][4];
        const char* titles[2];
        const char* content;
        const char* apply;
        const char* close;
    };
    const Texts texts[3] = {
        {{{"IP List", "URL List", "Suffix List", "Host List"},
          {"IP List", "URL List", "Suffix List", "Host List"}},
         {"Advanced Setting - White List", "Advanced Setting - Black List"},
         "Content",
         "Apply",
         "Close"},
        {{{"IP白名单", "URL白名单", "后缀名白名单", "域名白名单"},
          {"IP黑名单", "URL黑名单", "后缀名黑名单", "域名黑名单"}},
         {"高级设置 - 白名单", "高级设置 - 黑名单"},
         "内容",
         "应用",
         "关闭"},
        {{{"IP白名單", "URL白名單", "后綴名白名單", "域名白名單"},
          {"IP黑名單", "URL黑名單", "后綴名黑名單", "域名黑名單"}},
         {"高級設置 - 白名單", "高級設置 - 黑名單"},
         "內容",
         "應用",
         "關閉"},
    };
    const QStringList firstRows[2] = {{"10.0.0.1", "/public/", "css", "intranet.example.com"},
                                      {"10.9.9.9", "/admin/", "bak", "bad.example.com"}};
    testing::MessageRecorder recorder;
    for (int language = 0; language < 3; ++language) {
        module().uiLanguage = language;
        const Texts& t = texts[language];
        ListWindow* windows[2] = {&open<wlistwin>(), &open<blistwin>()};
        for (int black = 0; black < 2; ++black) {
            ListWindow& w = *windows[black];
            w.updateCaptions();
            QCOMPARE(w.windowTitle(), QString::fromUtf8(t.titles[black]));
            QCOMPARE(listOf(w)->headerItem()->text(0), QString::fromUtf8(t.content));
            QCOMPARE(w.findChild<QLabel*>("applyLabel")->text(), QString::fromUtf8(t.apply));
            QCOMPARE(w.findChild<QLabel*>("closeLabel")->text(), QString::fromUtf8(t.close));
            for (int tab = 3; tab >= 0; --tab) {
                QCOMPARE(tabOf(w, tab)->text(), QString::fromUtf8(t.tabs[black][tab]));
                QCOMPARE(w.captionToKey(tabOf(w, tab)->text()),
                         (black ? kBlackKeys : kWhiteKeys)[tab]);
                clickTab(w, tab);
                QCOMPARE(rowsOf(w).first(), firstRows[black][tab]);
            }
            const QString name = w.objectName() + QStringLiteral("%1-") + QString::number(language);
            QVERIFY(w.grab().save(testing::renderFolder() + name.arg("") + ".png"));
            menu(w, "addBtn");
            QVERIFY(w.grab().save(testing::renderFolder() + name.arg("-editor") + ".png"));
        }
        close<wlistwin>();
        close<blistwin>();
    }
}

QTEST_MAIN(EditorListsTest)
#include "editor_lists_test.moc"
