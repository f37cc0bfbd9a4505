#pragma once

#include "platform/svc/service_types.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace platform::svc {

using ServiceMainFunction = void (*)();
using ControlHandlerFunction = void (*)(uint32_t control);
using StatusHandle = uintptr_t; // 0: none

// Blocks the control signals in the calling thread and the threads it starts
// later. A service program calls it first thing, before it starts threads, so
// that every control reaches the dispatcher.
void blockControlSignals();

// Hands the calling thread to the service manager: runs serviceMain on a
// thread of its own and calls the registered control handler on this thread
// for every control, in order, once the service has reported and its last
// status accepts the control (a stopped service takes only interrogate).
// SIGTERM is a stop.
// Returns 0 after serviceMain has returned; kErrorNotService at once when the
// process was not started as the service name (for instance by hand).
[[nodiscard]] int runDispatcher(std::string_view name, ServiceMainFunction serviceMain);

class StatusSink;
// The same with the reports going to sink, whoever started the process.
[[nodiscard]] int runDispatcherWith(std::string_view name, ServiceMainFunction serviceMain,
                                    std::unique_ptr<StatusSink> sink);

// From serviceMain: the handle for status reports; 0 when no dispatcher runs
// the service of that name.
[[nodiscard]] StatusHandle registerControlHandler(std::string_view name,
                                                  ControlHandlerFunction handler);

// Tells the service manager the status; false for a handle that is not (or no
// longer) the dispatcher's, or when the manager could not be told.
[[nodiscard]] bool setServiceStatus(StatusHandle handle, const ServiceStatus& status);

// Tells the service manager that the service now does its work (systemd:
// READY=1, which a Running report alone does not send). Same result.
[[nodiscard]] bool reportReady(StatusHandle handle);

} // namespace platform::svc
