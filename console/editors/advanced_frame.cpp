#include "console/editors/advanced_frame.h"

#include "console/editors/data_file.h"
#include "console/editors/record_lines.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/pictures.h"
#include "console/shell/twips.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTreeWidget>

namespace console {
namespace {

struct SideBarEntry {
    const char* name;
    AdvancedWindow target;
    int left; // twips
    int width;
    LanguageText caption;
};

const SideBarEntry kSideBar[] = {
    {"crbtn", AdvancedWindow::AttackRules, 105, 1455, {"Attack Rules", "入侵检测", "入侵檢測"}},
    {"jrbtn", AdvancedWindow::PatchRules, 1725, 1455, {"Patch Rules", "补丁规则", "補丁規則"}},
    {"clbtn",
     AdvancedWindow::ConnectionLimit,
     3390,
     2445,
     {"Connection Limit", "连接限制", "連接限制"}},
    {"blbtn", AdvancedWindow::BlackList, 6060, 1455, {"Black List", "黑名单", "黑名單"}},
    {"wlbtn", AdvancedWindow::WhiteList, 7680, 1455, {"White List", "白名单", "白名單"}},
};

constexpr LanguageText kApply{"Apply", "应用", "應用"};
constexpr LanguageText kClose{"Close", "关闭", "關閉"};
constexpr LanguageText kCannotWrite{"Can not write the file: ", "无法写入文件: ", "無法寫入文件: "};
constexpr LanguageText kChanged{
    "The file was changed after it was read; Refresh reads it again: ",
    "文件在读取后已被修改, 请刷新后重试: ", "文件在讀取後已被修改, 請刷新後重試: "};

constexpr int kSideBarTop = 290;
constexpr int kSideBarHeight = 255;
constexpr int kButtonTop = 5310;
constexpr int kLabelTop = 5400;
constexpr int kApplyLeft = 3285;
constexpr int kCloseLeft = 5430;

bool captionLanguage() {
    const int language = module().uiLanguage;
    return language >= 0 && language <= 2;
}

bool leftRelease(QEvent* event) {
    return event->type() == QEvent::MouseButtonRelease &&
           static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton;
}

QRect labelOnButton(int buttonLeft) {
    return twipsRect(buttonLeft + 30, kLabelTop, 1440, 285);
}

} // namespace

AdvancedFrame::AdvancedFrame(AdvancedWindow own, const LanguageText& title)
    : m_own(own), m_title(title) {
    setFixedSize(frameSize());
    setMouseTracking(true);
    setWindowTitle(QString::fromUtf8(title.english));
    setAutoFillBackground(true);
    QPalette background = palette();
    background.setColor(QPalette::Window, QColor(231, 243, 250));
    setPalette(background);
    buildSideBar();
    buildButtons();
    buildMenu();
}

AdvancedFrame::~AdvancedFrame() = default;

QSize AdvancedFrame::frameSize() {
    return QSize(pixels(9870), pixels(6030));
}

QRect AdvancedFrame::listGeometry() {
    return twipsRect(105, 765, 9645, 4335);
}

void AdvancedFrame::buildSideBar() {
    int index = 0;
    for (const SideBarEntry& entry : kSideBar) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(entry.name));
        label->setGeometry(twipsRect(entry.left, kSideBarTop, entry.width, kSideBarHeight));
        label->setAlignment(Qt::AlignCenter);
        // The designed captions, kept when the language is none of the three.
        label->setText(QString::fromUtf8(entry.caption.simplified));
        if (entry.target == m_own) {
            QFont own = label->font();
            own.setBold(true);
            label->setFont(own);
        } else {
            label->setCursor(Qt::PointingHandCursor);
        }
        label->installEventFilter(this);
        m_sideBar[index++] = label;
    }
}

void AdvancedFrame::buildButtons() {
    m_apply = new PictureButton(this, QStringLiteral("applyBtn"), QStringLiteral("applyLabel"),
                                false, twipsRect(kApplyLeft, kButtonTop, 1500, 420));
    m_apply->label()->setGeometry(labelOnButton(kApplyLeft));
    m_apply->setCaption(QString::fromUtf8(kApply.english));
    connect(m_apply, &PictureButton::clicked, this, &AdvancedFrame::apply);

    m_closeImage = new QLabel(this);
    m_closeImage->setObjectName(QStringLiteral("closeBtn"));
    m_closeImage->setGeometry(twipsRect(kCloseLeft, kButtonTop, 1500, 420));
    m_closeImage->setScaledContents(true);
    m_closeImage->setPixmap(picture(QStringLiteral("btn4w")));
    m_closeLabel = new QLabel(QString::fromUtf8(kClose.english), this);
    m_closeLabel->setObjectName(QStringLiteral("closeLabel"));
    m_closeLabel->setGeometry(labelOnButton(kCloseLeft));
    m_closeLabel->setAlignment(Qt::AlignCenter);
    m_closeLabel->setAttribute(Qt::WA_TranslucentBackground);
    m_closeLabel->setCursor(Qt::PointingHandCursor);
    for (QLabel* part : {m_closeImage, m_closeLabel}) {
        part->installEventFilter(this);
    }
}

void AdvancedFrame::buildMenu() {
    m_menu = new QMenu(this);
    m_menu->setObjectName(QStringLiteral("pMenu"));
    const struct {
        const char* name;
        const char* caption;
        void (AdvancedFrame::*handler)();
    } items[] = {
        {"refreshBtn", "Refresh", &AdvancedFrame::refreshRecords},
        {"editBtn", "Edit", &AdvancedFrame::editRecord},
        {"addBtn", "Add", &AdvancedFrame::addRecord},
        {"delBtn", "Delete", &AdvancedFrame::deleteRecord},
    };
    for (const auto& item : items) {
        const auto handler = item.handler;
        addMenuItem(QString::fromLatin1(item.name), QString::fromLatin1(item.caption),
                    [this, handler] { (this->*handler)(); });
    }
}

QAction* AdvancedFrame::addMenuItem(const QString& objectName, const QString& caption,
                                    std::function<void()> handler) {
    QAction* action = m_menu->addAction(caption);
    action->setObjectName(objectName);
    connect(action, &QAction::triggered, this, [handler = std::move(handler)] { handler(); });
    return action;
}

void AdvancedFrame::attachRecordList(QTreeWidget* list) {
    m_list = list;
    list->viewport()->installEventFilter(this);
    connect(list, &QTreeWidget::itemDoubleClicked, this, [this] { editRecord(); });
}

QTreeWidget* AdvancedFrame::createRecordList(const QString& objectName, const QStringList& headers,
                                             const QList<int>& widths) {
    auto* list = new QTreeWidget(this);
    list->setObjectName(objectName);
    list->setGeometry(listGeometry());
    list->setRootIsDecorated(false);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setColumnCount(int(headers.size()));
    list->setHeaderLabels(headers);
    for (int i = 0; i < widths.size(); ++i) {
        list->setColumnWidth(i, pixels(widths[i]));
    }
    attachRecordList(list);
    return list;
}

QTreeWidgetItem* AdvancedFrame::firstSelectedRecord() const {
    if (m_list == nullptr) {
        return nullptr;
    }
    const QList<QTreeWidgetItem*> selected = m_list->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void AdvancedFrame::setCaption(QLabel* label, const QString& text) {
    if (label->text() != text) {
        label->setText(text);
    }
}

void AdvancedFrame::setHeaderCaption(QTreeWidget* list, int column, const QString& text) {
    if (list->headerItem()->text(column) != text) {
        list->headerItem()->setText(column, text);
        // A caption wider than its designed column widens it.
        const int needed = list->header()->sectionSizeHint(column);
        if (needed > list->columnWidth(column)) {
            list->setColumnWidth(column, needed);
        }
    }
}

void AdvancedFrame::setTitle(QWidget* window, const QString& text) {
    if (window->windowTitle() != text) {
        window->setWindowTitle(text);
    }
}

void AdvancedFrame::updateCaptions() {
    if (!captionLanguage()) {
        return;
    }
    setFrameCaptions();
    paintCaptions();
}

void AdvancedFrame::setFrameCaptions() {
    setTitle(this, m_title.text());
    for (int i = 0; i < 5; ++i) {
        setCaption(m_sideBar[i], kSideBar[i].caption.text());
    }
    setCaption(m_apply->label(), kApply.text());
    setCaption(m_closeLabel, kClose.text());
}

MessageAnswer AdvancedFrame::frameMessage(const QString& text, MessageButtons buttons) {
    updateCaptions();
    return showMessage(this, {text, windowTitle(), buttons,
                              buttons == MessageButtons::YesNo ? MessageIcon::Question
                                                               : MessageIcon::Exclamation});
}

bool AdvancedFrame::readFrameFile(const QString& fileName, QByteArrayList& lines) {
    const QString path = module().appFolder + fileName;
    lines.clear();
    if (QFileInfo::exists(path) && !readDataFile(path, lines)) {
        if (!m_unreadable.contains(fileName)) {
            m_unreadable.append(fileName);
        }
        return false;
    }
    m_unreadable.removeAll(fileName);
    return true;
}

void AdvancedFrame::forEachRecordLine(const QByteArrayList& lines, bool events,
                                      const std::function<void(int, const QString&)>& handle) {
    for (int i = 0; i < int(lines.size()); ++i) {
        if (events) {
            QCoreApplication::processEvents();
        }
        if (!lines[i].startsWith('#')) {
            handle(i, lineText(lines[i]));
        }
    }
}

bool AdvancedFrame::writeFrameFile(const QString& fileName, const QByteArrayList& lines,
                                   const QByteArray& content) {
    const QString path = module().appFolder + fileName;
    QByteArrayList now;
    if (QFileInfo::exists(path) && readDataFile(path, now) && now != lines) {
        frameMessage(kChanged.text() + path, MessageButtons::Ok);
        return false;
    }
    if (!m_unreadable.contains(fileName) && writeDataFile(path, content)) {
        return true;
    }
    reportWriteFailure(path);
    return false;
}

void AdvancedFrame::reportWriteFailure(const QString& path) {
    frameMessage(kCannotWrite.text() + path, MessageButtons::Ok);
}

void AdvancedFrame::paintEvent(QPaintEvent* event) {
    updateCaptions();
    QDialog::paintEvent(event);
}

void AdvancedFrame::mouseMoveEvent(QMouseEvent* event) {
    if (overBackground(this, event->position().toPoint())) {
        m_apply->showNormal();
    }
    QDialog::mouseMoveEvent(event);
}

bool AdvancedFrame::eventFilter(QObject* watched, QEvent* event) {
    if (m_list != nullptr && watched == m_list->viewport() &&
        event->type() == QEvent::MouseButtonPress) {
        auto* press = static_cast<QMouseEvent*>(event);
        if (press->button() == Qt::RightButton) {
            const QPoint at = press->position().toPoint();
            m_list->setCurrentItem(nullptr);
            m_list->clearSelection();
            if (QTreeWidgetItem* row = m_list->itemAt(at)) {
                m_list->setCurrentItem(row);
                row->setSelected(true);
            }
            m_menu->popup(m_list->viewport()->mapToGlobal(at));
            return true;
        }
    }
    if (!leftRelease(event)) {
        return QDialog::eventFilter(watched, event);
    }
    if (watched == m_closeLabel || watched == m_closeImage) {
        closeFrame();
        return true;
    }
    for (int i = 0; i < 5; ++i) {
        if (watched == m_sideBar[i]) {
            sideBarClicked(kSideBar[i].target);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void AdvancedFrame::sideBarClicked(AdvancedWindow target) {
    if (target == m_own) {
        return;
    }
    m_next = target;
    unloadAdvancedWindow(m_own);
}

void AdvancedFrame::closeFrame() {
    m_next.reset();
    unloadAdvancedWindow(m_own);
}

void AdvancedFrame::reject() {
    closeFrame();
}

void AdvancedFrame::apply() {
    showRestartWindow(this);
}

} // namespace console
