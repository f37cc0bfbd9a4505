#include "console/shell/module.h"

#include "console/shell/console_trace.h"
#include "console/shell/log_lines.h"
#include "console/shell/restartwin.h"
#include "platform/ini.h"
#include "platform/proc/own_processes.h"
#include "platform/proc/program_file.h"
#include "platform/proc/working_set.h"
#include "platform/svc/service_manager.h"
#include "platform/text.h"

#include <QApplication>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QThread>
#include <QWidget>
#include <cmath>
#include <unistd.h>

namespace console {
namespace {

int g_serviceWaitMs = 3000;

std::string ansi(const QString& text) {
    return platform::utf8ToAnsi(text.toStdString());
}

QString fromAnsi(const std::string& text) {
    return QString::fromStdString(platform::ansiToUtf8(text));
}

std::string serviceName(const QString& name) {
    return name.toStdString();
}

void settle() {
    QThread::msleep(g_serviceWaitMs);
}

// A service reports its new state a little after it took the control: a
// start right after the stop control fails while the old process still runs,
// and a start is not yet running while it is pending. Each operation waits
// for the state to settle (within a bound) before its settle time.
template <class Unsettled>
void waitWhile(platform::svc::ServiceManager& manager, const std::string& name,
               Unsettled unsettled) {
    constexpr int kPollMs = 100;
    constexpr int kLimitMs = 30000;
    for (int waited = 0; waited < kLimitMs; waited += kPollMs) {
        platform::svc::ServiceStatus status;
        if (manager.queryStatus(name, status) != 0 || !unsettled(status.currentState)) {
            return;
        }
        QThread::msleep(kPollMs);
    }
    CONSOLE_TRACE("service %s: its state did not settle", name.c_str());
}

} // namespace

Module& module() {
    static Module state;
    return state;
}

QString serviceProgramFile() {
    return QString::fromStdString(platform::proc::programFileName("ostrum"));
}

QString consoleProgramFile() {
    return QString::fromStdString(platform::proc::programFileName("ostrumgui"));
}

void setAppFolder(const QString& folder) {
    Module& m = module();
    m.appFolder = folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
    m.configPath = m.appFolder + QStringLiteral("ostrum.cfg");
}

QString readSetting(const QString& key, const QString& defaultValue) {
    std::string value = platform::readProfileString("setting", ansi(key), ansi(defaultValue),
                                                    module().configPath.toStdString());
    if (value.size() > 255) {
        value.resize(255);
    }
    return fromAnsi(value);
}

void writeSetting(const QString& key, const QString& value) {
    if (!platform::writeProfileString("setting", ansi(key), ansi(value),
                                      module().configPath.toStdString())) {
        CONSOLE_TRACE("writeSetting: cannot write %s", module().configPath.toUtf8().constData());
    }
}

bool isServiceInstalled(const QString& name) {
    return platform::svc::openServiceManager()->isInstalled(serviceName(name));
}

bool isServiceStopped(const QString& name) {
    platform::svc::ServiceStatus status;
    if (platform::svc::openServiceManager()->queryStatus(serviceName(name), status) != 0) {
        return true;
    }
    return status.currentState != platform::svc::State::Running;
}

void stopServiceAndWait(const QString& name) {
    auto manager = platform::svc::openServiceManager();
    if (!manager->isInstalled(serviceName(name))) {
        return;
    }
    if (const int error = manager->control(serviceName(name), platform::svc::kControlStop)) {
        CONSOLE_TRACE("stopService %s: error %d", name.toUtf8().constData(), error);
    } else {
        waitWhile(*manager, serviceName(name), [](platform::svc::State state) {
            return state != platform::svc::State::Stopped;
        });
    }
    settle();
}

void startServiceAndWait(const QString& name) {
    auto manager = platform::svc::openServiceManager();
    if (!manager->isInstalled(serviceName(name))) {
        return;
    }
    if (const int error = manager->start(serviceName(name))) {
        CONSOLE_TRACE("startService %s: error %d", name.toUtf8().constData(), error);
    } else {
        waitWhile(*manager, serviceName(name), [](platform::svc::State state) {
            return state == platform::svc::State::StartPending;
        });
    }
    settle();
}

void disableService(const QString& name) {
    (void)platform::svc::openServiceManager()->changeStartMode(serviceName(name),
                                                               platform::svc::StartMode::Disabled);
}

void enableServiceAuto(const QString& name) {
    (void)platform::svc::openServiceManager()->changeStartMode(serviceName(name),
                                                               platform::svc::StartMode::Automatic);
}

void setServiceWaitForTest(int milliseconds) {
    g_serviceWaitMs = milliseconds;
}

// "###,###.#" with the system's separators: no leading zero, one decimal
// only where there is a fraction.
QString kilobytesText(double value) {
    const QLocale locale = QLocale::system();
    const double rounded = std::round(value * 10) / 10;
    const auto whole = static_cast<qint64>(rounded);
    QString text = whole == 0 ? QString() : locale.toString(whole);
    const int tenth = int(std::lround((rounded - double(whole)) * 10));
    if (tenth != 0) {
        text += locale.decimalPoint() + QString::number(tenth);
    }
    return text;
}

namespace {

// Figures are of this program folder's processes: another installation's
// program of the same name is not ours.
std::string appFolderPath() {
    return QFile::encodeName(module().appFolder).toStdString();
}

} // namespace

QString processMemoryText(const QString& programFile) {
    std::vector<pid_t> pids;
    if (programFile.isEmpty()) {
        pids.push_back(getpid());
    } else {
        pids = platform::proc::ownProcesses(appFolderPath(), programFile.toStdString());
    }
    double kilobytes = 0;
    for (pid_t pid : pids) {
        kilobytes = double(platform::proc::workingSetBytes(pid)) / 1024;
    }
    const QString text = kilobytesText(kilobytes);
    return (text.isEmpty() ? QStringLiteral("0") : text) + QStringLiteral(" K");
}

qint32 processIdOf(const QString& programFile) {
    return qint32(platform::proc::ownProcessIdOf(appFolderPath(), programFile.toStdString()));
}

qint32 countLogRecords(const QString& fileName) {
    return countRecords(module().appFolder + QStringLiteral("log/") + fileName);
}

bool systemFileExists(const QString& fileName) {
    const QString folder = QLibraryInfo::path(QLibraryInfo::LibrariesPath);
    return !fileName.isEmpty() && QFileInfo::exists(folder + QLatin1Char('/') + fileName);
}

void showRestartWindow(QWidget* owner) {
    if (owner != nullptr) {
        owner->setCursor(Qt::WaitCursor);
    }
    showRestartDialog(owner);
    if (owner != nullptr) {
        owner->unsetCursor();
    }
}

} // namespace console
