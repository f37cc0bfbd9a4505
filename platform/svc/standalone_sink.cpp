#include "platform/svc/registry.h"
#include "platform/svc/standalone_manager.h"
#include "platform/svc/status_sink.h"

#include <cstdlib>
#include <unistd.h>

namespace platform::svc {
namespace {

class StandaloneSink final : public StatusSink {
public:
    StandaloneSink(Registry registry, std::string_view name)
        : m_registry(std::move(registry)), m_name(name) {}

    bool report(const ServiceStatus& status) override {
        return update([&](StatusRecord& record) { record.status = status; });
    }

    bool ready(const ServiceStatus& status) override {
        return update([&](StatusRecord& record) {
            record.status = status;
            record.ready = true;
        });
    }

    void controlDone(uint32_t sequence) override {
        (void)update([&](StatusRecord& record) { record.controlDone = sequence; });
    }

private:
    // Changes this process's status record. After a removal nobody asks any
    // more; after a newer start the record is another process's.
    template <typename Change> bool update(Change change) {
        const Registry::Lock lock(m_registry, true);
        ServiceConfig config;
        if (lock.error() != 0 || m_registry.readConfig(m_name, config) != 0) {
            return lock.error() == 0;
        }
        StatusRecord record = m_registry.readStatus(m_name);
        if (record.pid != getpid()) {
            return false;
        }
        change(record);
        return m_registry.writeStatus(m_name, record) == 0;
    }

    Registry m_registry;
    std::string m_name;
};

} // namespace

std::unique_ptr<StatusSink> acceptStandalone(std::string_view name) {
    const char* shown = getenv(kTokenVariable);
    if (shown == nullptr || *shown == '\0') {
        return nullptr;
    }
    // The token is for this process alone: its children do not inherit it.
    const std::string token = shown;
    unsetenv(kTokenVariable);
    Registry registry(Registry::defaultRoot());
    const Registry::Lock lock(registry, true);
    ServiceConfig config;
    if (lock.error() != 0 || registry.readConfig(name, config) != 0) {
        return nullptr;
    }
    StatusRecord record = registry.readStatus(name);
    if (record.token.empty() || record.token != token || record.pid != getpid()) {
        return nullptr;
    }
    record.token.clear();
    if (registry.writeStatus(name, record) != 0) {
        return nullptr;
    }
    return std::make_unique<StandaloneSink>(std::move(registry), name);
}

} // namespace platform::svc
