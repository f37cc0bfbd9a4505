#include "console/shell/flashwin.h"
#include "console/shell/historywin.h"
#include "console/shell/language.h"
#include "console/shell/mainwin.h"
#include "console/shell/message_box.h"
#include "console/shell/module.h"
#include "console/shell/proinfowin.h"
#include "console/shell/referwin.h"
#include "console/shell/settingwin.h"
#include "console/shell/single_instance.h"
#include "console/shell/switching.h"
#include "console/shell/windows.h"
#include "platform/proc/program_file.h"

#include <QApplication>
#include <QLabel>
#include <QLocale>

namespace console {
namespace {

// The widget library the console is linked against stands where the
// common-controls library stood.
QString widgetLibraryFile() {
    return QStringLiteral("libQt6Widgets.so.%1").arg(QT_VERSION_MAJOR);
}

void refuse(const QString& text) {
    showMessage(nullptr, {text, consoleTitle(), MessageButtons::Ok, MessageIcon::Exclamation});
}

} // namespace

void showSplash(QWidget* owner, const QString& text) {
    flashwin& splash = window<flashwin>();
    splash.tiplabel()->setText(text);
    if (owner != nullptr) {
        splash.move(owner->geometry().center() - splash.rect().center());
    }
    splash.show();
    splash.raise();
}

void setSplashText(const QString& text) {
    window<flashwin>().tiplabel()->setText(text);
}

void closeSplash() {
    if (isLoaded<flashwin>()) {
        window<flashwin>().tiplabel()->clear();
        unload<flashwin>();
    }
}

bool Main() {
    setAppFolder(QString::fromStdString(platform::proc::programFolder()));
    Module& m = module();
    m.uiLanguage = languageFromSetting(readSetting(QStringLiteral("ui_lan"), QStringLiteral("-1")),
                                       QLocale::system().name());
    if (!claimSingleInstance(m.appFolder)) {
        (void)notifyRunningInstance(m.appFolder);
        refuse(byLanguage("Another instance of this program is running!",
                          "本程序的另一个实例已在运行中!", "本程序的另一个實例已在運行中!"));
        return false;
    }
    if (!systemFileExists(widgetLibraryFile())) {
        refuse(QStringLiteral("Start failed, Lack of important control: MSCOMCTL.OCX"));
        return false;
    }
    auto* listener = new SecondStartListener(m.appFolder, qApp);
    QObject::connect(listener, &SecondStartListener::secondStart, &showStatusWindow);
    window<flashwin>();
    showSplash(&window<proinfowin>(),
               byLanguage("Loading data, please wait...", "正在加载数据，请稍候...",
                          "正在加載數據，請稍候..."));
    m.serviceStopped = isServiceStopped(kServiceName);
    m.serviceInstalled = isServiceInstalled(kServiceName);
    window<mainwin>();
    window<proinfowin>();
    window<historywin>();
    window<settingwin>();
    window<referWin>();
    closeSplash();
    window<mainwin>().show();
    return true;
}

} // namespace console
