#include "console/shell/historywin.h"

#include "console/shell/attack_log_reader.h"
#include "console/shell/caption_table.h"
#include "console/shell/column_fit.h"
#include "console/shell/language.h"
#include "console/shell/logselwin.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/side_tabs.h"
#include "console/shell/switching.h"
#include "console/shell/twips.h"
#include "console/shell/wait_cursor.h"
#include "console/shell/windows.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QListView>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

namespace console {
namespace {

constexpr Caption kCaptions[] = {
    {"", "Ostrum Console - History", "Ostrum控制台 - 查看历史", "Ostrum控制臺 - 查看歷史"},
    {"sellogLabel", "Select a Log File", "选择日志文件", "開啟檔案:"},
    {"pageLabel", "Page", "页码", "頁碼"},
    {"pageTipLabel", "(200 records a page)", "(每页200条记录)", "(每頁200條記錄)"},
};

// The columns of loglist: captions and widths in twips (0: the default 100 px).
constexpr Caption kColumns[] = {
    {"", "Time", "时间", "時間"},           {"", "Source IP", "源IP", "IP來源"},
    {"", "Dest IP", "目的IP", "目的IP"},    {"", "Dest Port", "目的端口", "目的端口"},
    {"", "HOST", "HOST", "HOST"},           {"", "METHOD", "METHOD", "METHOD"},
    {"", "Positon", "位置", "位置"},        {"", "Rule ID", "规则ID", "規則ID"},
    {"", "Action", "处理方式", "處理方式"}, {"", "URL", "URL", "URL"},
};
constexpr int kColumnTwips[] = {2000, 2000, 2000, 2000, 0, 0, 0, 0, 0, 3000};
constexpr int kDefaultColumnPixels = 100;
// An operator goes back and forth among a few days' logs; an index costs
// 8 bytes a page.
constexpr qsizetype kIndexedFiles = 8;

QLabel* addLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

} // namespace

historywin::historywin() {
    setObjectName(QStringLiteral("historywin"));
    setFixedSize(900, 560);
    setMouseTracking(true);
    m_tabs = new SideTabs(this, MainWindow::History);
    createControls();
    createLogList();
}

void historywin::createControls() {
    const int left = SideTabs::kWidth + 10;
    m_sellog = new PictureButton(this, QStringLiteral("sellogBtn"), QStringLiteral("sellogLabel"),
                                 true, QRect(left, 12, 104, 22));
    connect(m_sellog, &PictureButton::clicked, this, &historywin::sellogLabel_Click);
    m_nowlogfTip = addLabel(this, "nowlogfTip", QRect(left + 116, 12, 300, 22));
    addLabel(this, "pageLabel", QRect(590, 12, 50, 22))
        ->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_pageList = new QComboBox(this);
    m_pageList->setObjectName(QStringLiteral("pageList"));
    m_pageList->setGeometry(646, 12, 80, 22);
    // A large log has tens of thousands of pages, all of one height.
    if (auto* view = qobject_cast<QListView*>(m_pageList->view())) {
        view->setUniformItemSizes(true);
    }
    connect(m_pageList, &QComboBox::currentIndexChanged, this, &historywin::pageList_Click);
    connect(m_pageList, &QComboBox::activated, this, &historywin::pageListActivated);
    addLabel(this, "pageTipLabel", QRect(734, 12, 160, 22));
}

void historywin::createLogList() {
    const int left = SideTabs::kWidth + 10;
    m_loglist = new QTreeWidget(this);
    m_loglist->setObjectName(QStringLiteral("loglist"));
    m_loglist->setGeometry(left, 44, width() - left - 10, height() - 54);
    m_loglist->setRootIsDecorated(false);
    m_loglist->setUniformRowHeights(true);
    m_loglist->setColumnCount(int(std::size(kColumns)));
    QStringList headers;
    for (const Caption& column : kColumns) {
        headers.append(QString::fromUtf8(column.english));
    }
    m_loglist->setHeaderLabels(headers);
    for (int i = 0; i < int(std::size(kColumnTwips)); ++i) {
        m_loglist->setColumnWidth(i, kColumnTwips[i] != 0 ? pixels(kColumnTwips[i])
                                                          : kDefaultColumnPixels);
    }
    m_loglist->viewport()->setMouseTracking(true);
    m_loglist->viewport()->installEventFilter(this);
}

void historywin::paintEvent(QPaintEvent* event) {
    paintCaptions();
    QWidget::paintEvent(event);
}

void historywin::paintCaptions() {
    m_tabs->setCaptions();
    applyCaptions(this, kCaptions);
    QTreeWidgetItem* header = m_loglist->headerItem();
    bool changed = false;
    for (int i = 0; i < int(std::size(kColumns)); ++i) {
        const QString text =
            byLanguage(kColumns[i].english, kColumns[i].simplified, kColumns[i].traditional);
        if (header->text(i) != text) {
            header->setText(i, text);
            changed = true;
        }
    }
    if (changed) {
        fitColumns(m_loglist);
    }
}

void historywin::closeEvent(QCloseEvent* event) {
    closeToTray(this, event);
}

void historywin::mouseMoveEvent(QMouseEvent* event) {
    if (overBackground(this, event->position().toPoint())) {
        m_sellog->showNormal();
    }
    QWidget::mouseMoveEvent(event);
}

bool historywin::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_loglist->viewport() && event->type() == QEvent::MouseMove) {
        m_sellog->showNormal();
    }
    return QWidget::eventFilter(watched, event);
}

void historywin::sellogLabel_Click() {
    logselWin& chooser = console::window<logselWin>();
    chooser.setParent(this, chooser.windowFlags() | Qt::Dialog);
    chooser.setWindowModality(Qt::WindowModal);
    chooser.exec();
    // The close box ends the chooser as Close does.
    unload<logselWin>();
}

void historywin::showlogs() {
    if (logfilename_now.isEmpty()) {
        return;
    }
    WaitCursor hourglass(this);
    const QString name = logfilename_now.trimmed();
    const QString path = module().appFolder + QStringLiteral("log/") + name;
    recordCount = 0;
    if (QFileInfo(path).isFile()) {
        LogPageIndex& index = indexOf(path);
        (void)index.update(path);
        recordCount = index.recordCount();
    }
    // Filled quietly: page 1 is shown once, below.
    m_pageList->blockSignals(true);
    m_pageList->clear();
    const qint32 pages = pageCount(recordCount);
    QStringList numbers;
    numbers.reserve(pages);
    for (qint32 page = 1; page <= pages; ++page) {
        numbers.append(QString::number(page));
    }
    m_pageList->addItems(numbers);
    m_pageList->setCurrentIndex(pages > 0 ? 0 : -1);
    m_pageList->blockSignals(false);
    showLogPage(name, 1);
}

void historywin::pageList_Click() {
    const QString text = m_pageList->currentText().trimmed();
    if (text.isEmpty()) {
        return;
    }
    bool number = false;
    const qint32 page = text.toInt(&number);
    if (!number) {
        return;
    }
    WaitCursor hourglass(this);
    showLogPage(logfilename_now.trimmed(), page);
    // A user's choice that changed the page is followed at once by its
    // activation, which must not read the page a second time.
    m_pageReadForChoice = true;
    QTimer::singleShot(0, this, [this] { m_pageReadForChoice = false; });
}

// The page already shown, chosen again: read anew, so that a growing log
// shows its new records.
void historywin::pageListActivated() {
    if (m_pageReadForChoice) {
        m_pageReadForChoice = false;
        return;
    }
    pageList_Click();
}

void historywin::showLogPage(const QString& fileName, qint32 page) {
    const QString path = module().appFolder + QStringLiteral("log/") + fileName;
    if (!QFileInfo(path).isFile()) {
        return;
    }
    m_loglist->clear();
    // The index follows the file as it grows; only the page itself is read.
    QList<QStringList> rows;
    LogPageIndex& index = indexOf(path);
    const qint64 offset = index.update(path) ? index.pageOffset(page) : -1;
    if (offset < 0 || !readAttackLogRecords(path, offset, rows)) {
        return;
    }
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const QStringList& row : rows) {
        items.append(new QTreeWidgetItem(row));
    }
    m_loglist->addTopLevelItems(items);
    fitColumns(m_loglist);
}

LogPageIndex& historywin::indexOf(const QString& path) {
    m_indexOrder.removeOne(path);
    m_indexOrder.append(path);
    if (m_indexOrder.size() > kIndexedFiles) {
        m_indexes.erase(m_indexOrder.takeFirst());
    }
    return m_indexes.try_emplace(path, kRecordsPerPage).first->second;
}

} // namespace console
