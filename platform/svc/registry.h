#pragma once

#include "platform/svc/service_types.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace platform::svc {

// What the registry knows of a started service besides its config: the
// process that runs it, the token it must show once to be accepted, the
// status it last reported, whether it has said that it does its work, and
// the last control its handler finished.
struct StatusRecord {
    pid_t pid = 0;
    uint64_t startTicks = 0;
    std::string token;
    ServiceStatus status;
    bool ready = false;
    uint32_t controlSent = 0;
    uint32_t controlDone = 0;
};

// Text forms of the two files: "key=value" lines. Reading ignores unknown
// keys and malformed lines; a number that does not fit leaves its field as it
// was. A record without name or program is refused.
std::string formatServiceRecord(const ServiceConfig& config);
[[nodiscard]] bool parseServiceRecord(std::string_view text, ServiceConfig& out);
std::string formatStatusRecord(const StatusRecord& record);
StatusRecord parseStatusRecord(std::string_view text);

// The whole file; 0 or the error of the read.
[[nodiscard]] int readFileText(const std::string& path, std::string& out);

// Writes the whole content to a temporary file beside path and renames it
// over path, so readers see the old content or the new, never a part.
[[nodiscard]] int writeFileAtomically(const std::string& path, std::string_view content);

// The standalone registry: one folder with <name>.service (the config) and
// <name>.status per service, names lower-cased. Every read and write happens
// under the folder's lock.
class Registry {
public:
    explicit Registry(std::string root);

    // OSTRUM_SVC_ROOT, else /var/lib/ostrum/svc.
    static std::string defaultRoot();

    const std::string& root() const { return m_root; }
    std::string configPath(std::string_view name) const;
    std::string statusPath(std::string_view name) const;

    // The folder's lock (flock), held for the object's lifetime.
    class Lock {
    public:
        Lock(const Registry& registry, bool exclusive);
        ~Lock();
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        // 0, or why the folder could not be locked (missing: not installed).
        int error() const { return m_error; }

    private:
        int m_fd = -1;
        int m_error = 0;
    };

    // Under a lock:
    [[nodiscard]] int readConfig(std::string_view name, ServiceConfig& out) const;
    [[nodiscard]] int writeConfig(const ServiceConfig& config) const;
    StatusRecord readStatus(std::string_view name) const;
    [[nodiscard]] int writeStatus(std::string_view name, const StatusRecord& record) const;
    [[nodiscard]] int removeService(std::string_view name) const;
    // The names of the installed services, as their records give them.
    std::vector<std::string> serviceNames() const;

private:
    std::string m_root;
};

// Whether the process of the record still runs (its id not reused since).
bool isRecordAlive(const StatusRecord& record);

// The status as a manager reports it: stopped once the process has ended;
// start pending, accepting no control, until the service has said that it
// does its work (as systemd shows a unit activating until READY=1).
ServiceStatus effectiveStatus(const StatusRecord& record);

} // namespace platform::svc
