#pragma once

#include <cerrno>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::svc {

enum class State : uint32_t {
    Stopped = 1,
    StartPending = 2,
    StopPending = 3,
    Running = 4,
    ContinuePending = 5,
    PausePending = 6,
    Paused = 7,
};

// Control codes a service's control handler receives; 128 to 255 are the
// service's own.
constexpr uint32_t kControlStop = 1;
constexpr uint32_t kControlPause = 2;
constexpr uint32_t kControlContinue = 3;
constexpr uint32_t kControlInterrogate = 4;
constexpr uint32_t kControlShutdown = 5;
constexpr uint32_t kFirstUserControl = 128;
constexpr uint32_t kLastUserControl = 255;

// Bits of ServiceStatus::controlsAccepted.
constexpr uint32_t kAcceptStop = 1;
constexpr uint32_t kAcceptPauseContinue = 2;
constexpr uint32_t kAcceptShutdown = 4;

constexpr uint32_t kOwnProcess = 16;

// The status record a service reports: seven 32-bit fields in this order.
struct ServiceStatus {
    uint32_t serviceType = kOwnProcess;
    State currentState = State::Stopped;
    uint32_t controlsAccepted = 0;
    uint32_t exitCode = 0;
    uint32_t serviceSpecificExitCode = 0;
    uint32_t checkPoint = 0;
    uint32_t waitHint = 0;
};
static_assert(sizeof(ServiceStatus) == 28);

enum class StartMode { Automatic, Disabled };

struct ServiceConfig {
    std::string name;
    std::string displayName;
    std::string program; // full path, started without arguments
    StartMode startMode = StartMode::Automatic;
};

// Failures of the layer are errno values; these are the ones it gives a
// meaning of its own.
constexpr int kErrorExists = EEXIST;           // install: the name is taken
constexpr int kErrorNotInstalled = ENOENT;     // no service of that name
constexpr int kErrorInvalid = EINVAL;          // bad name, text or control code
constexpr int kErrorNotActive = ESRCH;         // control: the service is not running
constexpr int kErrorCannotAccept = EAGAIN;     // control: not accepted in this state
constexpr int kErrorAlreadyRunning = EALREADY; // start: it runs already
constexpr int kErrorDisabled = EPERM;          // start: the start mode is Disabled
constexpr int kErrorNoResponse = ETIMEDOUT;    // the program did not answer as a service
constexpr int kErrorNotService = ENOTCONN;     // dispatcher: not started as a service
constexpr int kErrorManager = EIO;             // the system's service manager failed

// The state as the management interface names it ("Running", "Stop Pending").
std::string_view stateName(State state);
// "Automatic" or "Disabled"; parseStartMode takes either without regard to case.
std::string_view startModeName(StartMode mode);
std::optional<StartMode> parseStartMode(std::string_view text);

// A service name is 1 to 80 letters, digits, "_", "-" and "." and does not
// begin with "."; names are compared without regard to case.
bool isValidServiceName(std::string_view name);
std::string canonicalName(std::string_view name);

// Stop, pause, continue, interrogate and the service's own codes can be sent.
bool isSendableControl(uint32_t code);
// Whether a status with these accepted controls takes the control now.
bool acceptsControl(uint32_t controlsAccepted, uint32_t code);

} // namespace platform::svc
