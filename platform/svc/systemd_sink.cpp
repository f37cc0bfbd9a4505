#include "platform/svc/status_sink.h"
#include "platform/svc/systemd_manager.h"

#include <cstdlib>
#include <string>
#include <systemd/sd-daemon.h>
#include <systemd/sd-login.h>

namespace platform::svc {
namespace {

// READY=1 goes out once the service says it does its work, so that a start
// through systemd returns only then; later Running reports repeat it.
class SystemdSink final : public StatusSink {
public:
    bool report(const ServiceStatus& status) override {
        return sd_notify(0, notifyText(status.currentState, m_ready).c_str()) > 0;
    }
    void controlDone(uint32_t) override {}
    bool ready(const ServiceStatus& status) override {
        m_ready = true;
        return report(status);
    }

private:
    bool m_ready = false; // the dispatcher calls under its lock
};

} // namespace

std::string notifyText(State state, bool ready) {
    std::string text;
    if (state == State::Running && ready) {
        text = "READY=1\n";
    } else if (state == State::StopPending || state == State::Stopped) {
        text = "STOPPING=1\n";
    }
    return text + "STATUS=" + std::string(stateName(state));
}

std::unique_ptr<StatusSink> systemdSinkForTest() {
    return std::make_unique<SystemdSink>();
}

std::unique_ptr<StatusSink> acceptSystemd(std::string_view name) {
    if (getenv("NOTIFY_SOCKET") == nullptr) {
        return nullptr;
    }
    char* unit = nullptr;
    if (sd_pid_get_unit(0, &unit) < 0 || unit == nullptr) {
        return nullptr;
    }
    const bool ours = unitName(name) == unit;
    free(unit);
    return ours ? std::make_unique<SystemdSink>() : nullptr;
}

} // namespace platform::svc
