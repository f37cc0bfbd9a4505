#include "updater/service_control.h"

#include "platform/proc/proc_stat.h"
#include "platform/svc/service_manager.h"
#include "updater/update_trace.h"

#include <cstring>
#include <string>
#include <thread>

namespace ostrum::updater {
namespace {

using platform::svc::ServiceManager;

void traceResult(const char* what, std::string_view name, int error) {
    UPD_TRACE(std::string(what) + " " + std::string(name) + ": " +
              (error == 0 ? std::string("ok") : std::string(std::strerror(error))));
}

// The service's process, to wait for its end: a service may report stopped
// a moment before its program has exited.
struct ServiceProcess {
    pid_t pid = 0;
    uint64_t startTicks = 0;
};

ServiceProcess serviceProcess(ServiceManager& manager, std::string_view name) {
    ServiceProcess process;
    platform::proc::ProcStat stat;
    if (manager.queryProcessId(name, process.pid) == 0 && process.pid != 0 &&
        platform::proc::readProcStat(process.pid, stat)) {
        process.startTicks = stat.startTicks;
    }
    return process;
}

bool hasStopped(ServiceManager& manager, std::string_view name, const ServiceProcess& process) {
    if (process.startTicks != 0 &&
        platform::proc::isProcessAlive(process.pid, process.startTicks)) {
        return false;
    }
    platform::svc::ServiceStatus status;
    return manager.queryStatus(name, status) != 0 ||
           status.currentState == platform::svc::State::Stopped;
}

} // namespace

void stopServiceByName(std::string_view name, std::chrono::milliseconds limit) {
    const std::unique_ptr<ServiceManager> manager = platform::svc::openServiceManager();
    const ServiceProcess process = serviceProcess(*manager, name);
    const int error = manager->control(name, platform::svc::kControlStop);
    traceResult("stop", name, error);
    if (error != 0) {
        return;
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!hasStopped(*manager, name, process) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}

void startServiceByName(std::string_view name) {
    const std::unique_ptr<ServiceManager> manager = platform::svc::openServiceManager();
    traceResult("start", name, manager->start(name));
}

} // namespace ostrum::updater
