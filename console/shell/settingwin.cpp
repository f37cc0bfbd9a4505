#include "console/shell/settingwin.h"

#include "console/editors/advanced.h"
#include "console/shell/caption_table.h"
#include "console/shell/language.h"
#include "console/shell/message_box.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/side_tabs.h"
#include "console/shell/switching.h"
#include "console/shell/tray_language.h"
#include "console/shell/wait_cursor.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QRadioButton>

namespace console {
namespace {

constexpr Caption kCaptions[] = {
    {"", "Ostrum Console - Setting", "Ostrum控制台 - 参数配置", "Ostrum控制臺 - 參數配置"},
    {"restorelabel", "Restore", "恢复默认", "重設"},
    {"applyLabel", "Apply", "应用", "應用"},
    {"advsetlabel", "Advanced Settings", "高级设置", "高級設置"},
    {"runmodframe", "Protection Model", "保护模式", "保護模式"},
    {"runmod1", "Intelligent Mode", "智能模式", "智能模式"},
    {"runmod2", "Intrusion Prevention Model", "入侵防范模式", "入侵防范模式"},
    {"runmod3", "Bypass Mode", "旁路模式", "旁路模式"},
    {"runmod4", "Disable Protection", "禁用保护", "禁用保護"},
    {"bcframe", "Basic Settings", "基本配置", "基本配置"},
    {"httpportslabel", "http ports:", "http 端口:", "http 端口:"},
    {"httpportstip", "(To add more Ports, Use \"|\" as Separator)",
     "(添加更多端口,使用 \"|\"作为分隔符)", "(添加更多端口,使用 \"|\"作為分割符)"},
    {"httpsportslabel", "https ports:", "https 端口:", "https 端口:"},
    {"luframe", "Logs Storage", "日志存贮", "日誌存儲"},
    {"logsizelabel", "Max Size of a Log:", "日志文件最大尺寸:", "日志文件最大尺寸:"},
    {"sizeunitlabel", "(Unit:MB)", "(单位:MB)", "(單位:MB)"},
    {"logstimelabel", "Max Time of Log Storage:", "日志存储最长时间:", "日誌存儲最長時間:"},
    {"stimeunitlabel", "(Unit:Day)", "(单位:天)", "(單位:day)"},
    {"autoupdatecheck", "Auto-update and report attacks", "自动升级并上报攻击",
     "自動升級并上報攻擊"},
};

constexpr Caption kToolTips[] = {
    {"runmod2", "Detect and Prevent Attacks", "检测并拦截攻击", "檢測并攔截攻擊"},
    {"runmod3", "Only Detect and Record Attacks, not to Intercept Attacks",
     "仅检测和记录攻击而不拦截", "僅檢測和記錄攻擊而不攔截"},
    {"runmod4", "Protection Will Be Off", "保护将被停止", "保護將被停止"},
};

const QColor kControlColour(238, 249, 255);

void setBackground(QWidget* w) {
    QPalette colours = w->palette();
    colours.setColor(QPalette::Window, kControlColour);
    w->setPalette(colours);
    w->setAutoFillBackground(true);
}

template <class W> W* add(QWidget* parent, const char* name, const QRect& geometry) {
    auto* w = new W(parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    return w;
}

QGroupBox* addFrame(QWidget* parent, const char* name, const QRect& geometry) {
    auto* frame = add<QGroupBox>(parent, name, geometry);
    setBackground(frame);
    return frame;
}

} // namespace

settingwin::settingwin() {
    setObjectName(QStringLiteral("settingwin"));
    setFixedSize(620, 470);
    setMouseTracking(true);
    m_tabs = new SideTabs(this, MainWindow::Setting);
    createModeFrame();
    createBasicFrame();
    createLogFrame();
    createOthers();
    createButtons();
    // Selecting the language runs the language change once, which stores ui_lan.
    const int language = module().uiLanguage;
    if (language >= 0 && language < m_lansel->count()) {
        m_lansel->setCurrentIndex(language);
    }
    m_saved = readSettingValues();
    showValues(m_saved);
}

void settingwin::createModeFrame() {
    QGroupBox* frame = addFrame(this, "runmodframe", QRect(125, 10, 480, 84));
    m_modes = new QButtonGroup(this);
    const char* names[] = {"runmod1", "runmod2", "runmod3", "runmod4"};
    for (int option = 0; option < 4; ++option) {
        const QRect place(15 + (option % 2) * 235, 24 + (option / 2) * 28, 225, 22);
        auto* button = add<QRadioButton>(frame, names[option], place);
        setBackground(button);
        m_modes->addButton(button, option);
    }
}

void settingwin::createBasicFrame() {
    QGroupBox* frame = addFrame(this, "bcframe", QRect(125, 102, 480, 104));
    add<QLabel>(frame, "httpportslabel", QRect(15, 24, 110, 22));
    m_httpPorts = add<QLineEdit>(frame, "httpportstext", QRect(130, 24, 200, 22));
    m_httpPorts->setText(QStringLiteral("80"));
    add<QLabel>(frame, "httpportstip", QRect(130, 48, 340, 20));
    add<QLabel>(frame, "httpsportslabel", QRect(15, 72, 110, 22));
    m_httpsPorts = add<QLineEdit>(frame, "httpsportstext", QRect(130, 72, 200, 22));
    m_httpsPorts->setText(QStringLiteral("443"));
}

void settingwin::createLogFrame() {
    QGroupBox* frame = addFrame(this, "luframe", QRect(125, 214, 480, 84));
    add<QLabel>(frame, "logsizelabel", QRect(15, 24, 180, 22));
    m_logSize = add<QLineEdit>(frame, "logsizetext", QRect(200, 24, 80, 22));
    add<QLabel>(frame, "sizeunitlabel", QRect(290, 24, 120, 22));
    add<QLabel>(frame, "logstimelabel", QRect(15, 52, 180, 22));
    m_logStoreTime = add<QLineEdit>(frame, "logstimetext", QRect(200, 52, 80, 22));
    add<QLabel>(frame, "stimeunitlabel", QRect(290, 52, 120, 22));
}

void settingwin::createOthers() {
    m_autoUpdate = add<QCheckBox>(this, "autoupdatecheck", QRect(135, 308, 360, 22));
    setBackground(m_autoUpdate);
    add<QLabel>(this, "lanlabel", QRect(135, 340, 80, 22))->setText(QStringLiteral("Lanauage:"));
    m_lansel = add<QComboBox>(this, "lansel", QRect(220, 340, 150, 22));
    m_lansel->blockSignals(true);
    for (const char* entry : {"English", "简体中文", "繁體中文版"}) {
        m_lansel->addItem(QString::fromUtf8(entry));
    }
    m_lansel->setCurrentIndex(-1);
    m_lansel->blockSignals(false);
    connect(m_lansel, &QComboBox::currentIndexChanged, this, &settingwin::lansel_Click);
}

void settingwin::createButtons() {
    m_advset = new PictureButton(this, QStringLiteral("advsetbtn"), QStringLiteral("advsetlabel"),
                                 true, QRect(135, 400, 104, 22));
    m_restore = new PictureButton(this, QStringLiteral("restorebtn"),
                                  QStringLiteral("restorelabel"), false, QRect(440, 400, 72, 22));
    m_apply = new PictureButton(this, QStringLiteral("applyBtn"), QStringLiteral("applyLabel"),
                                false, QRect(526, 400, 72, 22));
    connect(m_advset, &PictureButton::clicked, this, &settingwin::advsetlabel_Click);
    connect(m_restore, &PictureButton::clicked, this, &settingwin::restorelabel_Click);
    connect(m_apply, &PictureButton::clicked, this, &settingwin::applyLabel_Click);
}

void settingwin::showValues(const SettingValues& values) {
    selectOption(optionOfMode(values.runMod));
    m_httpPorts->setText(values.httpPorts);
    m_httpsPorts->setText(values.httpsPorts);
    m_logSize->setText(values.logSize);
    m_logStoreTime->setText(values.logStoreTime);
    m_autoUpdate->setChecked(values.autoUpdate != QLatin1String("0"));
}

void settingwin::selectOption(int option) {
    if (QAbstractButton* button = m_modes->button(option)) {
        button->setChecked(true);
        return;
    }
    // No option for an unknown mode: the group lets all go only while not exclusive.
    m_modes->setExclusive(false);
    for (QAbstractButton* button : m_modes->buttons()) {
        button->setChecked(false);
    }
    m_modes->setExclusive(true);
}

int settingwin::selectedOption() const {
    return m_modes->checkedId();
}

void settingwin::paintEvent(QPaintEvent* event) {
    paintCaptions();
    QWidget::paintEvent(event);
}

void settingwin::paintCaptions() {
    m_tabs->setCaptions();
    applyCaptions(this, kCaptions);
    applyToolTips(this, kToolTips);
}

void settingwin::closeEvent(QCloseEvent* event) {
    if (!module().quitting) {
        setTrayMenuForLanguage();
    }
    closeToTray(this, event);
}

void settingwin::mouseMoveEvent(QMouseEvent* event) {
    if (overBackground(this, event->position().toPoint())) {
        m_restore->showNormal();
        m_apply->showNormal();
        m_advset->showNormal();
    }
    QWidget::mouseMoveEvent(event);
}

void settingwin::lansel_Click() {
    const int index = m_lansel->currentIndex();
    if (index >= 0 && index <= 2) {
        module().uiLanguage = index;
    }
    paintCaptions();
    setTrayMenuForLanguage();
    setTrayTipForLanguage();
    writeSetting(QStringLiteral("ui_lan"), QString::number(module().uiLanguage));
}

void settingwin::restorelabel_Click() {
    showValues(restoredSettingValues());
}

void settingwin::advsetlabel_Click() {
    showAdvancedWindow(AdvancedWindow::BlackList, this);
}

// Writes every key whose control differs from its saved value. A key that
// cannot be saved counts as unchanged and fails the Apply.
settingwin::KeysWritten settingwin::writeChangedKeys(const QString& mode) {
    KeysWritten result;
    const auto account = [&result](WriteResult written, bool restartNeeded) {
        result.changed = result.changed || (restartNeeded && written == WriteResult::Written);
        result.failed = result.failed || written == WriteResult::Failed;
    };
    // Mode "3" is written only once the disabling is confirmed.
    if (mode != QLatin1String("3")) {
        account(writeWhenChanged(QStringLiteral("run_mod"), mode, m_saved.runMod), true);
    }
    account(writeWhenChanged(QStringLiteral("filt_http_port"), m_httpPorts->text().trimmed(),
                             m_saved.httpPorts),
            true);
    account(writeWhenChanged(QStringLiteral("filt_https_port"), m_httpsPorts->text().trimmed(),
                             m_saved.httpsPorts),
            true);
    account(writeWhenChanged(QStringLiteral("max_logfile_size"),
                             numberOr(m_logSize->text(), kDefaultLogSize), m_saved.logSize),
            true);
    account(writeWhenChanged(QStringLiteral("max_logfile_store_time"),
                             numberOr(m_logStoreTime->text(), kDefaultLogStoreTime),
                             m_saved.logStoreTime),
            true);
    account(writeWhenChanged(QStringLiteral("auto_update_report"),
                             m_autoUpdate->isChecked() ? QStringLiteral("1") : QStringLiteral("0"),
                             m_saved.autoUpdate),
            false);
    return result;
}

void settingwin::applyLabel_Click() {
    const QString mode = modeOfOption(selectedOption());
    const bool disabling = mode == QLatin1String("3");
    KeysWritten written = writeChangedKeys(mode);
    // A service left in mode "3" refuses to start: no restart is offered then.
    if (written.changed && !disabling) {
        offerRestart();
    }
    // On No the saved option comes back; an unknown saved mode leaves runmod4.
    if (disabling && m_saved.runMod != QLatin1String("3") && !confirmDisable(written.failed) &&
        optionOfMode(m_saved.runMod) >= 0) {
        selectOption(optionOfMode(m_saved.runMod));
    }
    module().serviceStopped = isServiceStopped(kServiceName);
    if (written.failed) {
        showMessage(this, {byLanguage("Failed to Save the Settings!", "保存失败!", "保存失敗!"),
                           languageTitle(), MessageButtons::Ok, MessageIcon::Exclamation});
        return;
    }
    showMessage(this, {byLanguage("Save Successfully!", "保存成功!", "保存成功!"), languageTitle(),
                       MessageButtons::Ok, MessageIcon::Information});
}

void settingwin::offerRestart() {
    enableServiceAuto(kServiceName);
    const MessageAnswer answer = showMessage(
        this,
        {byLanguage("Configuration changed, Restart take effect, Click to Restart the Service.",
                    "配置参数发生改变,重启方可生效,点击重启服务.",
                    "配置參數發生改變,重啟方可生效,點擊重啟服務."),
         consoleTitle(), MessageButtons::YesNo, MessageIcon::Question});
    if (answer == MessageAnswer::Yes) {
        restartService();
    }
}

bool settingwin::confirmDisable(bool& failed) {
    const MessageAnswer answer = showMessage(
        this, {byLanguage("Click to Disable Ostrum.", "点击禁用Ostrum.", "點擊禁用Ostrum."),
               consoleTitle(), MessageButtons::YesNo, MessageIcon::Question});
    if (answer != MessageAnswer::Yes) {
        return false;
    }
    disableService(kServiceName);
    if (writeChecked(QStringLiteral("run_mod"), QStringLiteral("3"))) {
        m_saved.runMod = QStringLiteral("3");
    } else {
        failed = true;
    }
    return true;
}

// The splash paints between the steps: the events pending are run once each time.
void settingwin::restartService() {
    {
        WaitCursor hourglass(this);
        showSplash(this, byLanguage("Stopping Ostrum, Please wait...", "正在停止Ostrum,请稍候...",
                                    "正在停止Ostrum,請稍候..."));
        QCoreApplication::processEvents();
        stopServiceAndWait(kServiceName);
        setSplashText(byLanguage("Starting Ostrum, Please wait...", "正在启动Ostrum,请稍候...",
                                 "正在啟動Ostrum,請稍候..."));
        QCoreApplication::processEvents();
        startServiceAndWait(kServiceName);
    }
    closeSplash();
}

} // namespace console
