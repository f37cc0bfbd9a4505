#pragma once

#include "platform/svc/service_manager.h"

#include <functional>
#include <string>
#include <vector>

namespace platform::svc {

// Runs systemctl with the arguments, its standard output into output;
// returns its exit status, or -1 when it could not run.
using SystemctlRunner =
    std::function<int(const std::vector<std::string>& args, std::string& output)>;
int runSystemctl(const std::vector<std::string>& args, std::string& output);

// "ostrum.service" for "Ostrum".
std::string unitName(std::string_view serviceName);

// The unit file of a service, and the config read back from one.
std::string unitFileText(const ServiceConfig& config);
[[nodiscard]] bool parseUnitFile(std::string_view text, ServiceConfig& out);

// What a dispatched service tells systemd when it reports the state; ready
// once it has said that it does its work.
std::string notifyText(State state, bool ready);

// The service manager when systemd runs the machine: a unit file per
// service in unitFolder, the rest through systemctl.
class SystemdManager final : public ServiceManager {
public:
    explicit SystemdManager(std::string unitFolder = "/etc/systemd/system",
                            SystemctlRunner systemctl = runSystemctl);

    int install(const ServiceConfig& config) override;
    int remove(std::string_view name) override;
    bool isInstalled(std::string_view name) override;
    int queryConfig(std::string_view name, ServiceConfig& out) override;
    int queryStatus(std::string_view name, ServiceStatus& out) override;
    int queryProcessId(std::string_view name, pid_t& out) override;
    int start(std::string_view name) override;
    int control(std::string_view name, uint32_t code) override;
    int changeStartMode(std::string_view name, StartMode mode) override;

private:
    std::string unitPath(std::string_view name) const;
    // 0 when systemctl succeeded, else kErrorManager.
    int systemctl(const std::vector<std::string>& args, std::string* output = nullptr);
    int readShow(std::string_view name, std::string& output);

    std::string m_unitFolder;
    SystemctlRunner m_systemctl;
};

// The status of a unit from `systemctl show` output (ActiveState, StatusText
// and MainPID lines); pid is 0 while it does not run.
ServiceStatus statusFromShow(std::string_view show, pid_t& pid);

} // namespace platform::svc
