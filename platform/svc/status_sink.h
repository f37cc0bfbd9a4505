#pragma once

#include "platform/svc/service_types.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform::svc {

// Where a dispatched service's reports go: the backend that started it.
class StatusSink {
public:
    virtual ~StatusSink() = default;
    [[nodiscard]] virtual bool report(const ServiceStatus& status) = 0;
    // The handler has returned from the control of that sequence number.
    virtual void controlDone(uint32_t sequence) = 0;
    // The service does its work now; status is its last report.
    [[nodiscard]] virtual bool ready(const ServiceStatus& status) = 0;
};

// The sink of the backend that started this process as the service name;
// nullptr when that backend did not (the token or the unit does not match).
std::unique_ptr<StatusSink> acceptStandalone(std::string_view name);
std::unique_ptr<StatusSink> acceptSystemd(std::string_view name);
// The systemd sink without the check that systemd started this process.
std::unique_ptr<StatusSink> systemdSinkForTest();

} // namespace platform::svc
