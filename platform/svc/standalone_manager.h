#pragma once

#include "platform/svc/registry.h"
#include "platform/svc/service_manager.h"

#include <utility>
#include <vector>

namespace platform::svc {

// Environment variables a started service finds: the one-time token that the
// dispatcher checks against the status file, and the registry folder.
constexpr const char* kTokenVariable = "OSTRUM_SVC_TOKEN";
constexpr const char* kRootVariable = "OSTRUM_SVC_ROOT";

// The service manager of machines without systemd: a registry folder, a
// detached process per running service, and signals for its controls.
class StandaloneManager final : public ServiceManager {
public:
    explicit StandaloneManager(std::string root);

    int install(const ServiceConfig& config) override;
    int remove(std::string_view name) override;
    bool isInstalled(std::string_view name) override;
    int queryConfig(std::string_view name, ServiceConfig& out) override;
    int queryStatus(std::string_view name, ServiceStatus& out) override;
    int queryProcessId(std::string_view name, pid_t& out) override;
    int start(std::string_view name) override;
    int control(std::string_view name, uint32_t code) override;
    int changeStartMode(std::string_view name, StartMode mode) override;

    // What a host's boot does: starts every installed service of start mode
    // Automatic that is not running. The services tried, each with the
    // result of its start.
    std::vector<std::pair<std::string, int>> startAutomatic();

private:
    // Waits out a process that reported stopped and has not ended yet, then
    // spawns a new one and records it under the lock.
    int spawnService(std::string_view name, pid_t& pid);
    int trySpawn(std::string_view name, pid_t& pid);
    int waitUntilAccepted(std::string_view name, pid_t pid);
    int sendControl(std::string_view name, uint32_t code, uint32_t& sequence, pid_t& pid);
    int waitUntilHandled(std::string_view name, pid_t pid, uint32_t sequence);

    Registry m_registry;
};

// Control signals of the standalone backend: SIGTERM is a stop; the queued
// signal below carries (sequence << 8) | code.
int controlSignal();

} // namespace platform::svc
