#pragma once

#include "platform/svc/service_types.h"

#include <memory>
#include <string_view>
#include <sys/types.h>

namespace platform::svc {

// The system's service manager as the programs see it: install and remove a
// service, ask for its configuration and state, start it, send it controls.
// Every operation returns 0 or an error number (service_types.h).
class ServiceManager {
public:
    virtual ~ServiceManager() = default;

    [[nodiscard]] virtual int install(const ServiceConfig& config) = 0;
    // Removes the registration; a running service goes on until it stops.
    [[nodiscard]] virtual int remove(std::string_view name) = 0;
    virtual bool isInstalled(std::string_view name) = 0;
    [[nodiscard]] virtual int queryConfig(std::string_view name, ServiceConfig& out) = 0;
    // A service whose process has ended reads as stopped.
    [[nodiscard]] virtual int queryStatus(std::string_view name, ServiceStatus& out) = 0;
    // 0 while it does not run.
    [[nodiscard]] virtual int queryProcessId(std::string_view name, pid_t& out) = 0;
    // Returns once the program has taken its place as the service.
    [[nodiscard]] virtual int start(std::string_view name) = 0;
    // Stop, pause, continue, interrogate or a code of 128 to 255; returns once
    // the service's control handler has taken it (stop: without waiting for
    // the service to end).
    [[nodiscard]] virtual int control(std::string_view name, uint32_t code) = 0;
    [[nodiscard]] virtual int changeStartMode(std::string_view name, StartMode mode) = 0;
};

// systemd when it runs the machine, the standalone registry otherwise (and
// whenever OSTRUM_SVC_ROOT names a registry folder).
std::unique_ptr<ServiceManager> openServiceManager();

} // namespace platform::svc
