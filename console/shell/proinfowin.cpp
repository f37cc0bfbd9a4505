#include "console/shell/proinfowin.h"

#include "console/shell/caption_table.h"
#include "console/shell/click_filter.h"
#include "console/shell/console_trace.h"
#include "console/shell/language.h"
#include "console/shell/message_box.h"
#include "console/shell/module.h"
#include "console/shell/picture_button.h"
#include "console/shell/pictures.h"
#include "console/shell/side_tabs.h"
#include "console/shell/switching.h"
#include "platform/proc/program_file.h"
#include "platform/proc/program_start.h"

#include <QDesktopServices>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QMouseEvent>
#include <QUrl>
#include <functional>

namespace console {

const QString proinfowin::kHomePage = QStringLiteral("https://ostrum.example.org/");
const QString proinfowin::kSupportPage = QStringLiteral("https://ostrum.example.org/support");
const QString proinfowin::kForumPage = QStringLiteral("https://ostrum.example.org/forum");
const QString proinfowin::kPartnerPage = QStringLiteral("https://partners.example.org/");

namespace {

constexpr Caption kCaptions[] = {
    {"", "Ostrum Console - About", "Ostrum控制台 - 产品信息", "Ostrum控制臺 - 產品信息"},
    {"pronamelabel", "Ostrum Application Firewall", "Ostrum应用防火墙", "Ostrum應用防火墻"},
    {"proverframe", "Product Version", "产品版本", "產品版本"},
    {"updatelabel", "Check Update", "检查升级", "檢查升級"},
    {"supportLabel", "Online Support", "在线支持", "在綫援助"},
    {"ruleverframe", "Rule Version", "规则版本", "規則版本"},
    {"driververframe", "Driver Version", "驱动版本", "驅動版本"},
    {"cooframe", "Cooperation", "合作伙伴", "合作夥伴"},
    {"bbslabel", "Online Talk", "在线讨论", "在線討論"},
    {"procopyrightlabel", "Copyright (C) 2026 The Ostrum Project. All rights reserved.",
     "Copyright (C) 2026 The Ostrum Project. All rights reserved.",
     "Copyright (C) 2026 The Ostrum Project. All rights reserved."},
    {"coolabel", "Web Security Partners - https://partners.example.org/",
     "网站安全合作伙伴 - https://partners.example.org/",
     "網站安全合作夥伴 - https://partners.example.org/"},
};

const QColor kFrameColour(238, 249, 255);

QLabel* addLabel(QWidget* parent, const char* name, const QRect& geometry) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    return label;
}

QLabel* addLink(QWidget* parent, const char* name, const QRect& geometry,
                std::function<void()> action) {
    QLabel* label = addLabel(parent, name, geometry);
    label->setCursor(Qt::PointingHandCursor);
    label->installEventFilter(new ClickFilter(label, std::move(action)));
    return label;
}

QGroupBox* addFrame(QWidget* parent, const char* name, const QRect& geometry) {
    auto* frame = new QGroupBox(parent);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setGeometry(geometry);
    QPalette colours = frame->palette();
    colours.setColor(QPalette::Window, kFrameColour);
    frame->setPalette(colours);
    frame->setAutoFillBackground(true);
    return frame;
}

// The browser's answer is not awaited; an address it cannot open is traced.
void openPage(const QString& address) {
    if (!QDesktopServices::openUrl(QUrl(address))) {
        CONSOLE_TRACE("about: cannot open %s", address.toUtf8().constData());
    }
}

// The updater unpacks into its current folder, so it starts in the program
// folder whatever folder the console was started from.
bool startUpdater() {
    platform::proc::StartOptions options;
    options.window = platform::proc::Window::Shown;
    options.firstFolder = module().appFolder.toStdString();
    options.workingFolder = options.firstFolder;
    return platform::proc::startProgram(platform::proc::programFileName("update"), {"-s"},
                                        options) != 0;
}

} // namespace

proinfowin::proinfowin() {
    setObjectName(QStringLiteral("proinfowin"));
    setFixedSize(620, 470);
    setMouseTracking(true);
    setWindowIcon(trayIcon(kIconRunning));
    m_tabs = new SideTabs(this, MainWindow::ProInfo);
    createLabels();
    createVersionFrames();
    createButtons();
}

void proinfowin::createLabels() {
    QLabel* name = addLabel(this, "pronamelabel", QRect(135, 24, 470, 32));
    QFont large = name->font();
    large.setPointSize(large.pointSize() + 6);
    large.setBold(true);
    name->setFont(large);
    addLink(this, "procopyrightlabel", QRect(135, 62, 470, 20),
            [this] { procopyrightlabel_Click(); });
    QGroupBox* partner = addFrame(this, "cooframe", QRect(135, 176, 470, 64));
    addLink(partner, "coolabel", QRect(12, 26, 446, 26), [this] { coolabel_Click(); });
}

void proinfowin::createVersionFrames() {
    const struct {
        const char* frame;
        const char* label;
        const char* key;
    } versions[] = {{"proverframe", "proverlabel", "ostrum_ver"},
                    {"ruleverframe", "ruleverlabel", "rule_ver"},
                    {"driververframe", "driververlabel", "driver_ver"}};
    for (int i = 0; i < 3; ++i) {
        QGroupBox* frame = addFrame(this, versions[i].frame, QRect(135 + i * 160, 96, 150, 64));
        QLabel* label = addLabel(frame, versions[i].label, QRect(12, 26, 126, 26));
        label->setText(readSetting(QString::fromLatin1(versions[i].key), QStringLiteral("1.0")));
    }
}

void proinfowin::createButtons() {
    // Narrow pictures, stretched to hold the English captions.
    m_update = new PictureButton(this, QStringLiteral("updatebtn"), QStringLiteral("updatelabel"),
                                 false, QRect(135, 262, 110, 24));
    m_support = new PictureButton(this, QStringLiteral("supportbtn"),
                                  QStringLiteral("supportLabel"), false, QRect(255, 262, 110, 24));
    m_bbs = new PictureButton(this, QStringLiteral("bbsbtn"), QStringLiteral("bbslabel"), false,
                              QRect(375, 262, 110, 24));
    connect(m_update, &PictureButton::clicked, this, &proinfowin::updatelabel_Click);
    connect(m_support, &PictureButton::clicked, this, &proinfowin::supportbtn_Click);
    connect(m_bbs, &PictureButton::clicked, this, &proinfowin::bbslabel_Click);
}

void proinfowin::paintEvent(QPaintEvent* event) {
    paintCaptions();
    QWidget::paintEvent(event);
}

void proinfowin::paintCaptions() {
    m_tabs->setCaptions();
    applyCaptions(this, kCaptions);
}

void proinfowin::closeEvent(QCloseEvent* event) {
    closeToTray(this, event);
}

void proinfowin::mouseMoveEvent(QMouseEvent* event) {
    if (overBackground(this, event->position().toPoint())) {
        m_update->showNormal();
        m_support->showNormal();
        m_bbs->showNormal();
    }
    QWidget::mouseMoveEvent(event);
}

void proinfowin::updatelabel_Click() {
    const MessageAnswer answer =
        showMessage(this, {byLanguage("Click to Update.", "点击检查升级.", "點擊檢查升級."),
                           consoleTitle(), MessageButtons::YesNo, MessageIcon::Question});
    if (answer != MessageAnswer::Yes || startUpdater()) {
        return;
    }
    showMessage(
        this, {byLanguage("Failed to Start the Updater!", "启动升级程序失败!", "啟動升級程式失敗!"),
               consoleTitle(), MessageButtons::Ok, MessageIcon::Exclamation});
}

void proinfowin::procopyrightlabel_Click() {
    openPage(kHomePage);
}

void proinfowin::supportbtn_Click() {
    openPage(kSupportPage);
}

void proinfowin::bbslabel_Click() {
    openPage(kForumPage);
}

void proinfowin::coolabel_Click() {
    openPage(kPartnerPage);
}

} // namespace console
