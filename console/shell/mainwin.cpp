#include "console/shell/mainwin.h"

#include "console/editors/advanced.h"
#include "console/shell/column_fit.h"
#include "console/shell/flashwin.h"
#include "console/shell/historywin.h"
#include "console/shell/language.h"
#include "console/shell/log_records.h"
#include "console/shell/message_box.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/pictures.h"
#include "console/shell/proinfowin.h"
#include "console/shell/referwin.h"
#include "console/shell/settingwin.h"
#include "console/shell/side_tabs.h"
#include "console/shell/switching.h"
#include "console/shell/tray.h"
#include "console/shell/twips.h"
#include "console/shell/windows.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>

namespace console {
namespace {

using Texts = LanguageText;

QString text(const Texts& t) {
    return t.text();
}

struct LabelTexts {
    const char* name;
    Texts texts;
};

struct Column {
    Texts caption;
    int widthTwips; // 0: the list's default width
    Qt::Alignment alignment;
};

constexpr Texts kCaption{"Ostrum Console - State", "Ostrum控制台 - 当前状态",
                         "Ostrum控制臺 - 當前狀態"};
constexpr LabelTexts kLabels[] = {
    {"attacklistlabel", {"Intrusion Event List:", "入侵事件列表:", "入侵事件列表:"}},
    {"runloglistlabel", {"Logs:", "运行日志列表:", "歷史記錄列表:"}},
    {"cpuperctip", {"CPU Occupation:", "CPU使用率:", "CPU使用率:"}},
    {"memperctip", {"Memory Occupation:", "内存使用量:", "記憶體使用量:"}},
    {"stateframe", {"State:", "运行状态:", "運行狀態:"}},
};
constexpr Column kAttackColumns[] = {
    {{"Time", "时间", "時間"}, 2000, Qt::AlignLeft},
    {{"Source IP", "源IP", "IP來源"}, 2000, Qt::AlignHCenter},
    {{"Target Port", "目标端口", "目標端口"}, 0, Qt::AlignHCenter},
    {{"Action", "处理方式", "處理方法"}, 0, Qt::AlignHCenter},
    {{"Rule ID", "规则ID", "規則ID"}, 0, Qt::AlignHCenter},
    {{"Target URL", "目标URL", "目標URL"}, 3440, Qt::AlignLeft},
};
constexpr Column kRunLogColumns[] = {
    {{"Time", "时间", "時間"}, 2000, Qt::AlignLeft},
    {{"Content", "内容", "內容"}, 9100, Qt::AlignLeft},
};

// The state table.
constexpr Texts kStateOff{"OFF", "已停止", "已停止"};
constexpr Texts kStateOn{"ON", "运行中", "運行中"};
constexpr Texts kNotInstalled{"Ostrum Not Installed", "Ostrum未安装", "Ostrum未安裝"};
constexpr Texts kStart{"Start Ostrum", "启动Ostrum", "啟動Ostrum"};
constexpr Texts kStop{"Stop Ostrum", "停止Ostrum", "停止Ostrum"};
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

// The tray menus, one a language, each in its own language.
constexpr const char* kMenuTitle[3] = {"MainMenu", "主菜单", "主菜單"};
constexpr const char* kQuitItem[3] = {"Quit", "退出", "退出"};

constexpr Texts kStartFailed{"Failed to Start Ostrum!", "启动Ostrum失败!", "啟動Ostrum失敗!"};
constexpr Texts kStopFailed{"Failed to Stop Ostrum!", "停止Ostrum失败!", "停止Ostrum失敗!"};
constexpr Texts kQuitQuestion{"Click to Quit.", "点击退出.", "點擊退出."};

constexpr int kListInterval = 20000;
constexpr int kUsageInterval = 2000;
constexpr int kShownRecords = 10;
constexpr int kDefaultColumnWidth = 100; // pixels
constexpr int kListPointSize = 8;        // a date and time fits the Time column
constexpr int kLeft = SideTabs::kWidth + 10;
constexpr int kListWidth = 800;

std::function<void(int)>& quitForTest() {
    static std::function<void(int)> quit;
    return quit;
}

void endEventLoop(int exitCode) {
    if (quitForTest()) {
        quitForTest()(exitCode);
        return;
    }
    QCoreApplication::exit(exitCode);
}

QString todayText() {
    return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

QLabel* addLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

template <size_t N>
QTreeWidget* addList(QWidget* parent, const char* name, const Column (&columns)[N],
                     const QRect& geometry) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    list->setGeometry(geometry);
    list->setRootIsDecorated(false);
    list->setItemsExpandable(false);
    list->setUniformRowHeights(true);
    QFont font = list->font();
    font.setPointSize(kListPointSize);
    list->setFont(font);
    list->setColumnCount(int(N));
    for (int i = 0; i < int(N); ++i) {
        list->headerItem()->setText(i, QString::fromUtf8(columns[i].caption.english));
        list->headerItem()->setTextAlignment(i, columns[i].alignment | Qt::AlignVCenter);
        const int width = columns[i].widthTwips;
        list->setColumnWidth(i, width == 0 ? kDefaultColumnWidth : pixels(width));
    }
    return list;
}

template <size_t N>
void addRow(QTreeWidget* list, const Column (&columns)[N], const QStringList& cells) {
    auto* item = new QTreeWidgetItem(list, cells);
    for (int i = 0; i < int(N); ++i) {
        item->setTextAlignment(i, columns[i].alignment | Qt::AlignVCenter);
    }
}

template <size_t N> void setColumnCaptions(QTreeWidget* list, const Column (&columns)[N]) {
    bool changed = false;
    for (int i = 0; i < int(N); ++i) {
        const QString caption = text(columns[i].caption);
        if (list->headerItem()->text(i) != caption) {
            list->headerItem()->setText(i, caption);
            changed = true;
        }
    }
    if (changed) {
        fitColumns(list);
    }
}

void setTextColour(QLabel* label, const QColor& colour) {
    if (label->palette().color(QPalette::WindowText) != colour) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
}

} // namespace

mainwin::mainwin() {
    setObjectName(QStringLiteral("mainwin"));
    setFixedSize(kLeft + kListWidth + 10, 590);
    setMouseTracking(true);
    m_tabs = new SideTabs(this, MainWindow::Status);
    buildLabels();
    buildLists();
    buildMenus();
    const int language = module().uiLanguage;
    trayAdd(this, mainMenu(language >= 0 && language <= 2 ? language : 0));
    traySetTip(languageTitle());
    loadAttackList();
    loadRunLog();
    startTimers();
    paintCaptions();
}

void mainwin::buildLabels() {
    addLabel(this, "stateframe", QRect(kLeft, 16, 110, 22));
    m_nowState = addLabel(this, "nowstatelabel", QRect(kLeft + 110, 16, 200, 22));
    m_sctl = new PictureButton(this, QStringLiteral("sctlbtn"), QStringLiteral("sctllabel"), false,
                               QRect(kLeft + 330, 14, 110, 26));
    m_sctl->setCaption(QString::fromUtf8(kStart.english));
    connect(m_sctl, &PictureButton::clicked, this, &mainwin::startOrStop);
    // Installed after the button's own filter, so it sees the events first.
    m_sctl->image()->installEventFilter(this);
    m_sctl->label()->installEventFilter(this);
    addLabel(this, "cpuperctip", QRect(kLeft, 50, 150, 22));
    m_cpu = addLabel(this, "cpuperclabel", QRect(kLeft + 150, 50, 90, 22));
    m_cpu->setText(QStringLiteral("0%"));
    addLabel(this, "memperctip", QRect(kLeft + 260, 50, 160, 22));
    m_memory = addLabel(this, "memperclabel", QRect(kLeft + 420, 50, 150, 22));
    m_memory->setText(QStringLiteral("0K"));
    addLabel(this, "attacklistlabel", QRect(kLeft, 84, 300, 20));
    addLabel(this, "runloglistlabel", QRect(kLeft, 356, 300, 20));
}

void mainwin::buildLists() {
    m_attackList = addList(this, "attacklist", kAttackColumns, QRect(kLeft, 106, kListWidth, 240));
    m_runLogList = addList(this, "runloglist", kRunLogColumns, QRect(kLeft, 378, kListWidth, 200));
}

void mainwin::buildMenus() {
    for (int i = 0; i < 3; ++i) {
        m_menus[i] = new QMenu(this);
        m_menus[i]->setObjectName(QStringLiteral("MainMenu%1").arg(i));
        m_menus[i]->setTitle(QString::fromUtf8(kMenuTitle[i]));
        QAction* item = m_menus[i]->addAction(QString::fromUtf8(kQuitItem[i]));
        item->setObjectName(QStringLiteral("Quit%1").arg(i));
        connect(item, &QAction::triggered, this, [this] { quit(); });
    }
}

void mainwin::startTimers() {
    m_listTimer = new QTimer(this);
    m_listTimer->setObjectName(QStringLiteral("listTimer"));
    m_listTimer->setInterval(kListInterval);
    connect(m_listTimer, &QTimer::timeout, this, &mainwin::listTimerTick);
    m_usageTimer = new QTimer(this);
    m_usageTimer->setObjectName(QStringLiteral("usageTimer"));
    m_usageTimer->setInterval(kUsageInterval);
    connect(m_usageTimer, &QTimer::timeout, this, &mainwin::usageTimerTick);
    m_listTimer->start();
    m_usageTimer->start();
}

QMenu* mainwin::mainMenu(int language) const {
    return language >= 0 && language <= 2 ? m_menus[language] : nullptr;
}

void mainwin::paintCaptions() {
    if (module().quitting) {
        return;
    }
    setWindowTitle(text(kCaption));
    m_tabs->setCaptions();
    for (const LabelTexts& label : kLabels) {
        if (auto* l = findChild<QLabel*>(QString::fromLatin1(label.name))) {
            l->setText(text(label.texts));
        }
    }
    setColumnCaptions(m_attackList, kAttackColumns);
    setColumnCaptions(m_runLogList, kRunLogColumns);
    paintStateRow();
}

void mainwin::paintStateRow() {
    const Module& m = module();
    if (!m.serviceInstalled) {
        m_nowState->setText(text(kNotInstalled));
        setTextColour(m_nowState, kRed);
        m_sctl->label()->setEnabled(false);
        return;
    }
    m_nowState->setText(text(m.serviceStopped ? kStateOff : kStateOn));
    setTextColour(m_nowState, m.serviceStopped ? kRed : kBlue);
    m_sctl->setCaption(text(m.serviceStopped ? kStart : kStop));
    m_sctl->label()->setEnabled(true);
}

void mainwin::loadAttackList() {
    m_attackList->clear();
    const QString path =
        module().appFolder + QStringLiteral("log/attack") + todayText() + QStringLiteral(".log");
    for (const QString& line : latestRecordLines(path, kShownRecords)) {
        AttackRow row;
        if (parseAttackRecord(line, row)) {
            addRow(m_attackList, kAttackColumns,
                   {row.time, row.sourceIp, row.targetPort, row.action, row.ruleId, row.url});
        }
    }
    fitColumns(m_attackList);
}

void mainwin::loadRunLog() {
    m_runLogList->clear();
    const QString path = module().appFolder + QStringLiteral("log/ostrum.log");
    for (const QString& line : latestRecordLines(path, kShownRecords)) {
        RunLogRow row;
        if (parseRunLogLine(line, row)) {
            addRow(m_runLogList, kRunLogColumns, {row.time, row.content});
        }
    }
    fitColumns(m_runLogList);
}

void mainwin::listTimerTick() {
    m_listTimer->stop();
    loadAttackList();
    loadRunLog();
    Module& m = module();
    m.serviceStopped = isServiceStopped(kServiceName);
    traySetIcon(m.serviceStopped ? kIconStopped : kIconRunning);
    m.serviceInstalled = isServiceInstalled(kServiceName);
    paintCaptions();
    m_listTimer->start();
}

void mainwin::usageTimerTick() {
    m_usageTimer->stop();
    m_memory->setText(processMemoryText(serviceProgramFile()));
    m_cpu->setText(cpuFigureText(m_cpuUsage.sample(processIdOf(serviceProgramFile()))));
    m_usageTimer->start();
}

void mainwin::startOrStop() {
    Module& m = module();
    if (!m.serviceInstalled) {
        return;
    }
    // The button keeps a pointer of its own: it shows the hourglass too.
    const QCursor buttonCursor = m_sctl->label()->cursor();
    setCursor(Qt::WaitCursor);
    m_sctl->label()->setCursor(Qt::WaitCursor);
    const bool wasStopped = m.serviceStopped;
    if (wasStopped) {
        startServiceAndWait(kServiceName);
    } else {
        stopServiceAndWait(kServiceName);
    }
    m.serviceStopped = isServiceStopped(kServiceName);
    if (m.serviceStopped == wasStopped) {
        showMessage(this, {text(wasStopped ? kStartFailed : kStopFailed), consoleTitle(),
                           MessageButtons::Ok, MessageIcon::Exclamation});
    } else {
        paintCaptions();
    }
    traySetIcon(m.serviceStopped ? kIconStopped : kIconRunning);
    m_sctl->label()->setCursor(buttonCursor);
    unsetCursor();
}

// The tray icon goes before any window, and the windows go in the order
// that leaves the position holders last.
void mainwin::quit(QWidget* asker) {
    if (showMessage(asker != nullptr ? asker : this,
                    {text(kQuitQuestion), languageTitle(), MessageButtons::YesNo,
                     MessageIcon::Question}) != MessageAnswer::Yes) {
        return;
    }
    trayRemove();
    module().quitting = true;
    endEventLoop(1);
    unload<flashwin>();
    unload<historywin>();
    unload<settingwin>();
    unload<proinfowin>();
    unload<referWin>();
    unload<mainwin>();
    unloadAdvancedWindows();
    unload<adreferWin>();
}

void mainwin::paintEvent(QPaintEvent* event) {
    paintCaptions();
    QWidget::paintEvent(event);
}

void mainwin::closeEvent(QCloseEvent* event) {
    closeToTray(this, event);
}

void mainwin::mouseMoveEvent(QMouseEvent* event) {
    if (module().serviceInstalled && overBackground(this, event->position().toPoint())) {
        m_sctl->showNormal();
    }
    QWidget::mouseMoveEvent(event);
}

// Without the service there is nothing to start or stop: the button neither
// lights up nor takes clicks.
bool mainwin::eventFilter(QObject* watched, QEvent* event) {
    const bool sctl = watched == m_sctl->image() || watched == m_sctl->label();
    if (!sctl || module().serviceInstalled) {
        return false;
    }
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
        return true;
    default:
        return false;
    }
}

void setQuitForTest(std::function<void(int exitCode)> quit) {
    quitForTest() = std::move(quit);
}

} // namespace console
