#include "service/program/ostrum_service.h"

#include "platform/clock.h"
#include "platform/proc/priority.h"
#include "platform/proc/program_start.h"
#include "service/trace.h"

#include <unistd.h>

namespace ostrum {

using platform::proc::StartOptions;
using platform::proc::Wait;
using platform::proc::Window;

OstrumService::OstrumService(std::string modulePath)
    : BaseService("Ostrum", "Ostrum Service"), m_modulePath(std::move(modulePath)),
      m_appdir(m_modulePath.substr(0, m_modulePath.rfind('/'))) {
    OST_TRACE_TEXT("filtermanager constuct");
    // Every relative file name of the service resolves in the program folder.
    if (chdir(m_appdir.c_str()) != 0) {
        OST_TRACE("cannot enter the program folder %s", m_appdir.c_str());
    }
}

OstrumService::~OstrumService() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_stopRequested = true;
    m_running = false;
    m_wake.notify_all();
    m_wake.wait(lock, [this] { return !m_inRun; });
}

void OstrumService::run() {
    {
        // A stop that came first wins; one that comes now waits for the start.
        const std::lock_guard<std::mutex> guard(m_lock);
        if (m_stopRequested) {
            return;
        }
        m_inRun = true;
        m_running = true;
        m_filterStarted = true;
        m_startResult = m_manager.start();
    }
    if (m_startResult < 0) {
        setServiceExitCode(-m_startResult);
    } else {
        reportReady();
        protect();
    }
    const std::lock_guard<std::mutex> guard(m_lock);
    m_inRun = false;
    m_wake.notify_all();
}

void OstrumService::protect() {
    platform::proc::startProgram("iisreset", {},
                                 StartOptions{Window::Hidden, Wait::No, m_appdir, {}});
    platform::proc::raiseOwnPriority();
    OST_TRACE_TEXT("start running\n");
    while (m_running) {
        OST_TRACE_TEXT("Ostrum is protecting your system...");
        if (!sleepUnlessStopped()) {
            break;
        }
        checkDailyUpdate();
        m_manager.reportDescriptorShortage(std::chrono::steady_clock::now());
    }
}

bool OstrumService::sleepUnlessStopped() {
    std::unique_lock<std::mutex> lock(m_lock);
    const bool stopped = m_wake.wait_for(lock, m_interval, [this] { return m_stopRequested; });
    ++m_wakeUps;
    return !stopped;
}

void OstrumService::checkDailyUpdate() {
    const platform::LocalTime now = platform::localTime();
    if (now.hour != 1 || now.minute > 5 || m_manager.noUpdateNeeded()) {
        return;
    }
    OST_TRACE_TEXT("Check updates and reporte logs...\n");
    m_manager.checkUpdates(m_manager.filter().todayString(), m_appdir);
    startUpdater();
}

bool OstrumService::startUpdater() {
    platform::proc::startProgram(platform::proc::programFileName("update"), {},
                                 StartOptions{Window::Shown, Wait::No, m_appdir, {}});
    return true;
}

void OstrumService::onStop() {
    OST_TRACE_TEXT("prapare to  at on stop");
    const std::lock_guard<std::mutex> guard(m_lock);
    m_stopRequested = true;
    m_running = false;
    m_wake.notify_all();
    if (m_filterStarted) {
        m_manager.stop();
    }
}

void OstrumService::onPause() {
    m_paused = true;
}

void OstrumService::onContinue() {
    m_paused = false;
}

void OstrumService::setLoopIntervalForTest(std::chrono::milliseconds interval) {
    const std::lock_guard<std::mutex> guard(m_lock);
    m_interval = interval;
}

} // namespace ostrum
