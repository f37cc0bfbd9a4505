#include "console/editors/list_window.h"

#include "console/editors/hourglass.h"
#include "console/editors/list_file.h"
#include "console/shell/column_fit.h"
#include "console/shell/console_trace.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/twips.h"
#include "platform/text.h"

#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QValidator>

namespace console {
namespace {

constexpr const char* kFileName = "wblist.dat";

// The designed places, in twips.
constexpr int kListLeft = 2160;
constexpr int kListTop = 765;
constexpr int kListWidth = 7485;
constexpr int kListHeight = 4335;
constexpr int kTabLeft = 345;
constexpr int kTabWidth = 1785;
constexpr int kTabHeight = 345;
constexpr int kEditorWidth = 7440;
constexpr int kEditorHeight = 390;
constexpr int kValueWidth = 7350;
constexpr int kValueHeight = 300;
// Below the last row, and the least left of an edited row.
constexpr int kRowStep = 220;
constexpr int kLeastLeft = 30;
// With more than this many rows the scroll bar takes room from the editor.
constexpr int kRowsWithoutScrollBar = 20;
constexpr int kScrollBarRoom = 250;

constexpr LanguageText kContent{"Content", "内容", "內容"};
constexpr LanguageText kDuplicate{"Item already exists！", "该项已存在！", "該項已存在！"};

// Keeps the text to what an entry's line can hold: a line break would split
// the line, and a character outside the code page would reach the file as "?".
class LineTextValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override {
        for (qsizetype i = input.size() - 1; i >= 0; --i) {
            char bytes[2];
            const QChar c = input[i];
            if (c == QLatin1Char('\r') || c == QLatin1Char('\n') ||
                platform::wideUnitToAnsi(c.unicode(), bytes) == 0) {
                input.remove(i, 1);
                if (i < pos) {
                    --pos;
                }
            }
        }
        return Acceptable;
    }
};

// Blanks only, as the list file's values are trimmed.
QString trimBlanks(const QString& text) {
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] == QLatin1Char(' ')) {
        ++first;
    }
    while (last > first && text[last - 1] == QLatin1Char(' ')) {
        --last;
    }
    return text.mid(first, last - first);
}

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

ListWindow::ListWindow(const ListWindowDesign& design)
    : AdvancedFrame(design.own, design.title), m_design(design) {
    setObjectName(QString::fromLatin1(design.objectName));
    buildList();
    buildTabs();
    buildEditor();
    loadList(QString::fromLatin1(design.keys[0]));
    loaded = true;
    Container->hide();
    curTab = 0;
    QPalette current = listBtn[0]->palette();
    current.setColor(QPalette::WindowText, QColor(0, 0, 255));
    listBtn[0]->setPalette(current);
}

void ListWindow::buildList() {
    bwList = new QTreeWidget(this);
    bwList->setObjectName(QStringLiteral("bwList"));
    bwList->setGeometry(twipsRect(kListLeft, kListTop, kListWidth, kListHeight));
    bwList->setRootIsDecorated(false);
    bwList->setColumnCount(1);
    bwList->setHeaderLabels({kContent.text()});
    bwList->setColumnWidth(0, pixels(kListWidth));
    bwList->setSelectionMode(QAbstractItemView::SingleSelection);
    bwList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    bwList->installEventFilter(this);
    attachRecordList(bwList);
}

void ListWindow::buildTabs() {
    for (int i = 0; i < 4; ++i) {
        auto* tab = new QLabel(QString::fromUtf8(m_design.tabs[i].english), this);
        tab->setObjectName(QStringLiteral("listBtn%1").arg(i));
        tab->setGeometry(twipsRect(kTabLeft, m_design.tabTops[i], kTabWidth, kTabHeight));
        tab->setCursor(Qt::PointingHandCursor);
        tab->installEventFilter(this);
        listBtn[i] = tab;
    }
}

void ListWindow::buildEditor() {
    Container = new QFrame(this);
    Container->setObjectName(QStringLiteral("Container"));
    Container->setFrameShape(QFrame::Box);
    Container->setGeometry(twipsRect(2190, 1215, kEditorWidth, kEditorHeight));
    rvalue = new QLineEdit(Container);
    rvalue->setObjectName(QStringLiteral("rvalue"));
    rvalue->setGeometry(twipsRect(15, 15, kValueWidth, kValueHeight));
    rvalue->setFrame(false);
    rvalue->setValidator(new LineTextValidator(rvalue));
    rvalue->installEventFilter(this);
    connect(rvalue, &QLineEdit::textChanged, this, [this] { changed = true; });
    m_containerWidth = kEditorWidth;
    m_valueWidth = kValueWidth;
}

void ListWindow::paintCaptions() {
    for (int i = 0; i < 4; ++i) {
        setCaption(listBtn[i], m_design.tabs[i].text());
    }
    setHeaderCaption(bwList, 0, kContent.text());
}

QString ListWindow::tabKey(int index) const {
    return captionToKey(listBtn[index]->text());
}

QString ListWindow::captionToKey(const QString& caption) const {
    for (int i = 0; i < 4; ++i) {
        if (m_design.tabs[i].text() == caption) {
            return QString::fromLatin1(m_design.keys[i]);
        }
    }
    return {};
}

void ListWindow::loadList(const QString& key) {
    // Rows are about to go: an add or edit still open has nothing left to finish.
    adding = false;
    editing = false;
    editItem = nullptr;
    changed = false;
    Container->hide();
    bwList->clear();
    QStringList values;
    if (readListValues(module().appFolder + QString::fromLatin1(kFileName), key, values) ==
        ListRead::Failed) {
        CONSOLE_TRACE("%s: %s not read", m_design.objectName, kFileName);
    }
    for (const QString& value : values) {
        const QString shown = m_design.trimValues ? trimBlanks(value) : value;
        bwList->addTopLevelItem(new QTreeWidgetItem(QStringList{shown}));
    }
    console::fitColumns(bwList);
}

void ListWindow::tabClicked(int index) {
    if (!loaded) {
        curTab = index;
        return;
    }
    commit();
    curTab = index;
    {
        Hourglass wait(this);
        loadList(tabKey(index));
    }
    colourTabs();
}

void ListWindow::colourTabs() {
    for (int i = 0; i < 4; ++i) {
        QPalette colours = listBtn[i]->palette();
        colours.setColor(QPalette::WindowText, i == curTab ? QColor(0, 0, 255) : QColor(0, 0, 0));
        listBtn[i]->setPalette(colours);
    }
}

void ListWindow::refreshRecords() {
    Hourglass wait(this);
    loadList(tabKey(curTab));
}

void ListWindow::addRecord() {
    Hourglass wait(this);
    commit();
    int x = kLeastLeft;
    int y = kRowStep;
    const int rows = bwList->topLevelItemCount();
    if (rows > 0) {
        QTreeWidgetItem* last = bwList->topLevelItem(rows - 1);
        bwList->scrollToItem(last);
        const QPoint at = bwList->viewport()->mapTo(bwList, bwList->visualItemRect(last).topLeft());
        x = twips(at.x());
        y = twips(at.y()) + kRowStep;
        if (kListTop + y + kEditorHeight > kListTop + kListHeight) {
            y = twips(at.y());
        }
    }
    rvalue->clear();
    placeEditor(kListLeft + x, kListTop + y);
    rvalue->setFocus();
    adding = true;
}

void ListWindow::editRecord() {
    commit();
    QTreeWidgetItem* row = firstSelectedRow();
    if (row == nullptr) {
        return;
    }
    editItem = row;
    const QPoint at = bwList->viewport()->mapTo(bwList, bwList->visualItemRect(row).topLeft());
    const int x = std::max(twips(at.x()), kLeastLeft);
    rvalue->setText(row->text(0));
    placeEditor(kListLeft + x, kListTop + twips(at.y()));
    rvalue->setFocus();
    editing = true;
}

void ListWindow::placeEditor(int x, int y) {
    Container->move(pixels(x), pixels(y));
    if (bwList->topLevelItemCount() > kRowsWithoutScrollBar) {
        if (kListWidth - m_containerWidth < kScrollBarRoom) {
            m_containerWidth -= kScrollBarRoom;
            m_valueWidth -= kScrollBarRoom;
        }
    } else {
        m_containerWidth = kEditorWidth;
        m_valueWidth = kValueWidth;
    }
    Container->resize(pixels(m_containerWidth), pixels(kEditorHeight));
    rvalue->resize(pixels(m_valueWidth), pixels(kValueHeight));
    Container->show();
    Container->raise();
}

QTreeWidgetItem* ListWindow::firstSelectedRow() const {
    for (int i = 0; i < bwList->topLevelItemCount(); ++i) {
        if (bwList->topLevelItem(i)->isSelected()) {
            return bwList->topLevelItem(i);
        }
    }
    return nullptr;
}

QString ListWindow::editorValue() const {
    return m_design.trimValues ? trimBlanks(rvalue->text()) : rvalue->text();
}

bool ListWindow::isDuplicate(const QString& text, const QTreeWidgetItem* except) {
    for (int i = 0; i < bwList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = bwList->topLevelItem(i);
        if (row != except && row->text(0) == text) {
            frameMessage(kDuplicate.text(), MessageButtons::Ok);
            return true;
        }
    }
    return false;
}

void ListWindow::commit() {
    Hourglass wait(this);
    if (adding) {
        adding = false;
        const QString text = editorValue();
        if (!text.isEmpty() && !isDuplicate(text, nullptr)) {
            bwList->addTopLevelItem(new QTreeWidgetItem(QStringList{text}));
        }
        Container->hide();
    }
    if (editing) {
        editing = false;
        const QString text = editorValue();
        if (!text.isEmpty() && editItem != nullptr && !isDuplicate(text, editItem)) {
            editItem->setText(0, text);
        }
        editItem = nullptr;
        Container->hide();
    }
    if (changed) {
        changed = false;
        saveList();
    }
}

void ListWindow::hideEditor() {
    // Esc gives the open add or edit up: nothing of it reaches the list.
    adding = false;
    editing = false;
    editItem = nullptr;
    changed = false;
    Container->hide();
}

void ListWindow::deleteRecord() {
    Hourglass wait(this);
    commit();
    QTreeWidgetItem* row = firstSelectedRow();
    if (row == nullptr) {
        return;
    }
    const QString question =
        m_design.deleteLead.text() + QLatin1Char('"') + row->text(0) + QStringLiteral("\".");
    if (frameMessage(question, MessageButtons::YesNo) == MessageAnswer::Yes) {
        delete row;
        saveList();
    }
}

void ListWindow::saveList() {
    if (saving) {
        return;
    }
    saving = true;
    Hourglass wait(this);
    const QString key = tabKey(curTab);
    const QString path = module().appFolder + QString::fromLatin1(kFileName);
    QStringList values;
    for (int i = 0; i < bwList->topLevelItemCount(); ++i) {
        values.append(bwList->topLevelItem(i)->text(0));
    }
    if (key.isEmpty()) {
        CONSOLE_TRACE("%s: no list key for tab %d, not saved", m_design.objectName, curTab);
    } else if (!writeListValues(path, key, values)) {
        reportWriteFailure(path);
    }
    saving = false;
}

bool ListWindow::editorKey(QKeyEvent* key) {
    // With no editor open, Esc is the window's own (it closes).
    if (key->key() == Qt::Key_Escape && (adding || editing || Container->isVisible())) {
        hideEditor();
        return true;
    }
    if (isEnter(key->key())) {
        commit();
        return true;
    }
    return false;
}

bool ListWindow::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    for (int i = 0; i < 4; ++i) {
        if (watched == listBtn[i] && type == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            tabClicked(i);
            return true;
        }
    }
    if (watched == bwList->viewport() && type == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        commit();
    }
    if ((watched == bwList || watched == rvalue) && type == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (watched == rvalue && key->text() == QStringLiteral("\"")) {
            return true;
        }
        if (editorKey(key)) {
            return true;
        }
    }
    return AdvancedFrame::eventFilter(watched, event);
}

void ListWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && overBackground(this, event->position().toPoint())) {
        commit();
    }
    AdvancedFrame::mousePressEvent(event);
}

} // namespace console
