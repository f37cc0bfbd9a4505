#include "console/editors/mantype.h"

#include "console/editors/advanced_frame.h"
#include "console/editors/field_checks.h"
#include "console/editors/hourglass.h"
#include "console/editors/jrulewin.h"
#include "console/editors/patch_rule_file.h"
#include "console/shell/column_fit.h"
#include "console/shell/message_box.h"
#include "console/shell/module.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTreeWidget>

namespace console {
namespace {

constexpr LanguageText kTitle{"Parameter Type Editor", "参数类型编辑器", "參數類型編輯器"};
constexpr LanguageText kNameColumn{"name", "名称", "名稱"};
constexpr LanguageText kRegexColumn{"regex", "正则式", "正則式"};
constexpr LanguageText kDeleteAsk{"Click to Delete:", "点击删除:", "點擊刪除:"};
constexpr LanguageText kExists{"Item already exists！", "该项已存在！", "該項已存在！"};
constexpr LanguageText kRegexEmpty{"Regex can not be empty!", "规则正则式不能为空!",
                                   "規則正則式不能為空!"};

// The file line a type was read from (-1: a new type).
constexpr int kLineRole = Qt::UserRole;

// Layout in twips.
constexpr int kMenuHeight = 330;
constexpr int kListLeft = 120;
constexpr int kListTop = 450;
constexpr int kListWidth = 8850;
constexpr int kListHeight = 4500;
constexpr int kNameColumnWidth = 1650;
constexpr int kRegexColumnWidth = 7200;
constexpr int kPanelHeight = 300;
constexpr int kPanelWidth = 8805;
constexpr int kRegexWidth = 7125;
constexpr int kRegexLeft = kPanelWidth - kRegexWidth;
constexpr int kNarrowing = 250;
constexpr int kEditorLeft = 30;
constexpr int kManyRows = 21;

// A type name as it is stored: the service reads a rule's type up to the
// first blank, so a name keeps none.
QString storedName(const QString& typed) {
    static const QRegularExpression blanks(QStringLiteral(R"(\s+)"));
    QString name = typed;
    return name.remove(blanks);
}

QString storedPattern(const QString& typed) {
    return oneLine(typed).trimmed();
}

QTreeWidgetItem* newRow(const QString& name, const QString& pattern, int line) {
    auto* row = new QTreeWidgetItem(QStringList{name, pattern});
    row->setData(0, kLineRole, line);
    return row;
}

bool isEnter(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

} // namespace

mantype::mantype()
    : m_list(new QTreeWidget(this)), m_panelWidth(kPanelWidth), m_regexWidth(kRegexWidth) {
    setObjectName(QStringLiteral("mantype"));
    setWindowTitle(QString::fromUtf8(kTitle.english));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(238, 249, 253));
    setPalette(background);
    setFixedSize(pixels(kListLeft * 2 + kListWidth), pixels(kListTop + kListHeight + kListLeft));
    buildMenu();
    m_list->setObjectName(QStringLiteral("typeList"));
    m_list->setGeometry(twipsRect(kListLeft, kListTop, kListWidth, kListHeight));
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setHeaderLabels(
        {QString::fromUtf8(kNameColumn.english), QString::fromUtf8(kRegexColumn.english)});
    m_list->setColumnWidth(0, pixels(kNameColumnWidth));
    m_list->setColumnWidth(1, pixels(kRegexColumnWidth));
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { editType(); });
    buildEditor();
    loadTypes();
}

void mantype::buildMenu() {
    auto* bar = new QMenuBar(this);
    bar->setGeometry(0, 0, width(), pixels(kMenuHeight));
    QMenu* menu = bar->addMenu(QStringLiteral("Operate"));
    menu->setObjectName(QStringLiteral("sMenu"));
    const struct {
        const char* name;
        const char* caption;
        void (mantype::*handler)();
    } items[] = {
        {"refreshBtn", "Refresh", &mantype::refreshTypes},
        {"editBtn", "Edit", &mantype::editType},
        {"addBtn", "Add", &mantype::addType},
        {"delBtn", "Delete", &mantype::deleteType},
    };
    for (const auto& item : items) {
        QAction* action = menu->addAction(QString::fromLatin1(item.caption));
        action->setObjectName(QString::fromLatin1(item.name));
        connect(action, &QAction::triggered, this, item.handler);
    }
}

void mantype::buildEditor() {
    m_container = new QWidget(this);
    m_container->setObjectName(QStringLiteral("Container"));
    m_name = new QLineEdit(m_container);
    m_name->setObjectName(QStringLiteral("tname"));
    m_name->setGeometry(0, 0, pixels(kRegexLeft - 30), pixels(kPanelHeight));
    m_regex = new QLineEdit(m_container);
    m_regex->setObjectName(QStringLiteral("tregex"));
    for (QLineEdit* field : {m_name, m_regex}) {
        field->installEventFilter(this);
        connect(field, &QLineEdit::textChanged, this, [this] { m_changed = true; });
    }
    m_container->hide();
}

void mantype::showOver(QWidget* owner) {
    if (owner != nullptr) {
        setParent(owner, windowFlags() | Qt::Dialog);
    }
    exec();
}

void mantype::paintCaptions() {
    const int language = module().uiLanguage;
    if (language < 0 || language > 2) {
        return;
    }
    AdvancedFrame::setTitle(this, kTitle.text());
    AdvancedFrame::setHeaderCaption(m_list, 0, kNameColumn.text());
    AdvancedFrame::setHeaderCaption(m_list, 1, kRegexColumn.text());
}

void mantype::paintEvent(QPaintEvent* event) {
    paintCaptions();
    QDialog::paintEvent(event);
}

void mantype::loadTypes() {
    const int selected = m_list->indexOfTopLevelItem(firstSelectedRow());
    m_list->clear();
    m_editItem = nullptr;
    if (!isLoaded<jrulewin>()) {
        return;
    }
    const JTypeDic& types = console::window<jrulewin>().jtypeDic;
    for (int i = 0; i < types.count(); ++i) {
        m_list->addTopLevelItem(newRow(types.key(i), types.value(i), types.line(i)));
    }
    console::fitColumns(m_list);
    if (QTreeWidgetItem* row = m_list->topLevelItem(selected)) {
        m_list->setCurrentItem(row);
        row->setSelected(true);
    }
}

void mantype::saveTypes() {
    if (m_saving || !isLoaded<jrulewin>()) {
        return;
    }
    m_saving = true;
    const Hourglass hourglass(this);
    jrulewin& owner = console::window<jrulewin>();
    const JTypeDic saved = owner.jtypeDic;
    owner.jtypeDic.clear();
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_list->topLevelItem(i);
        (void)owner.jtypeDic.add(row->text(0).trimmed(), row->text(1).trimmed(),
                                 row->data(0, kLineRole).toInt());
    }
    if (!owner.saveData()) {
        // The file still holds the types it held: so does the list.
        owner.jtypeDic = saved;
    }
    loadTypes();
    m_saving = false;
}

QRect mantype::rowTwips(const QTreeWidgetItem* row) const {
    const QRect rect =
        m_list->visualItemRect(row).translated(m_list->viewport()->geometry().topLeft());
    return QRect(twips(rect.x()), twips(rect.y()), twips(rect.width()), twips(rect.height()));
}

void mantype::placeEditor(int x, int y) {
    if (m_list->topLevelItemCount() >= kManyRows) {
        if (kListWidth - m_panelWidth < kNarrowing) {
            m_panelWidth -= kNarrowing;
            m_regexWidth -= kNarrowing;
        }
    } else {
        m_panelWidth = kPanelWidth;
        m_regexWidth = kRegexWidth;
    }
    m_container->setGeometry(pixels(x), pixels(y), pixels(m_panelWidth), pixels(kPanelHeight));
    m_regex->setGeometry(pixels(kRegexLeft), 0, pixels(m_regexWidth), pixels(kPanelHeight));
    m_container->show();
    m_container->raise();
}

QRect mantype::editorTwipsForTest() const {
    return QRect(twips(m_container->x()), twips(m_container->y()), m_panelWidth, kPanelHeight);
}

bool mantype::nameTaken(const QString& name, const QTreeWidgetItem* except) const {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* row = m_list->topLevelItem(i);
        if (row != except && row->text(0).trimmed() == name) {
            return true;
        }
    }
    return false;
}

QString mantype::typeRefusal(const QString& name, const QString& pattern,
                             const QTreeWidgetItem* except) const {
    if (nameTaken(name, except)) {
        return kExists.text();
    }
    if (const QString missing = missingCharacter(name + pattern); !missing.isEmpty()) {
        return missingCharacterMessage(missing);
    }
    // The service drops a type whose pattern is empty or does not compile.
    if (pattern.isEmpty()) {
        return kRegexEmpty.text();
    }
    if (const QString error = patternError(pattern); !error.isEmpty()) {
        return patternErrorMessage(error);
    }
    return {};
}

void mantype::commit() {
    const Hourglass hourglass(this);
    const QString name = storedName(m_name->text());
    const QString pattern = storedPattern(m_regex->text());
    const bool pending = m_adding || m_editing;
    if (pending && !name.isEmpty()) {
        const QString refusal = typeRefusal(name, pattern, m_adding ? nullptr : m_editItem);
        if (!refusal.isEmpty()) {
            showMessage(this,
                        {refusal, windowTitle(), MessageButtons::Ok, MessageIcon::Exclamation});
        } else if (m_adding) {
            m_list->addTopLevelItem(newRow(name, pattern, -1));
        } else if (m_editItem != nullptr) {
            m_editItem->setText(0, name);
            m_editItem->setText(1, pattern);
        }
    }
    if (pending) {
        m_adding = false;
        m_editing = false;
        m_container->hide();
    }
    if (m_changed) {
        m_changed = false;
        saveTypes();
    }
}

void mantype::abandon() {
    m_container->hide();
    m_adding = false;
    m_editing = false;
    m_changed = false;
}

void mantype::refreshTypes() {
    abandon();
    const Hourglass hourglass(this);
    loadTypes();
}

void mantype::addType() {
    const Hourglass hourglass(this);
    commit();
    int x = kEditorLeft;
    int y = twips(m_list->viewport()->y());
    if (const int count = m_list->topLevelItemCount(); count > 0) {
        QTreeWidgetItem* last = m_list->topLevelItem(count - 1);
        m_list->scrollToItem(last);
        const QRect row = rowTwips(last);
        x = row.left();
        y = row.bottom() + 1;
        if (kListHeight < y + kPanelHeight) {
            y = row.top();
        }
    }
    m_name->clear();
    m_regex->clear();
    placeEditor(twips(m_list->x()) + x, twips(m_list->y()) + y);
    m_name->setFocus();
    m_adding = true;
}

void mantype::editType() {
    commit();
    QTreeWidgetItem* row = firstSelectedRow();
    if (row == nullptr) {
        return;
    }
    m_editItem = row;
    const QRect place = rowTwips(row);
    const int x = place.left() <= kEditorLeft ? kEditorLeft : place.left();
    m_name->setText(row->text(0));
    m_regex->setText(row->text(1));
    placeEditor(twips(m_list->x()) + x, twips(m_list->y()) + place.top());
    m_name->setFocus();
    m_editing = true;
}

void mantype::deleteType() {
    const Hourglass hourglass(this);
    commit();
    QTreeWidgetItem* row = firstSelectedRow();
    if (row == nullptr) {
        return;
    }
    const QString question =
        kDeleteAsk.text() + QLatin1Char('"') + row->text(0) + QStringLiteral("\".");
    if (showMessage(this, {question, windowTitle(), MessageButtons::YesNo,
                           MessageIcon::Question}) != MessageAnswer::Yes) {
        return;
    }
    delete row;
    saveTypes();
}

QTreeWidgetItem* mantype::firstSelectedRow() const {
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        if (m_list->topLevelItem(i)->isSelected()) {
            return m_list->topLevelItem(i);
        }
    }
    return nullptr;
}

void mantype::mousePressEvent(QMouseEvent* event) {
    commit();
    QDialog::mousePressEvent(event);
}

bool mantype::editorKey(QObject* watched, int key) {
    if (key == Qt::Key_Escape) {
        abandon();
        return true;
    }
    if (!isEnter(key)) {
        return false;
    }
    if (watched == m_name) {
        m_regex->setFocus();
    } else {
        commit();
    }
    return true;
}

bool mantype::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list->viewport() && event->type() == QEvent::MouseButtonPress) {
        commit();
        return false;
    }
    const bool field = watched == m_name || watched == m_regex;
    if (event->type() != QEvent::KeyPress || (!field && watched != m_list)) {
        return QDialog::eventFilter(watched, event);
    }
    auto* press = static_cast<QKeyEvent*>(event);
    if (editorKey(watched, press->key())) {
        return true;
    }
    const QString typed = press->text();
    const bool discarded = typed == QStringLiteral("\"") ||
                           (watched == m_name && !typed.isEmpty() && typed.trimmed().isEmpty());
    return (field && discarded) || QDialog::eventFilter(watched, event);
}

void mantype::reject() {
    m_container->hide();
    unload<mantype>();
}

} // namespace console
