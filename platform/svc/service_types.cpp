#include "platform/svc/service_types.h"

#include <algorithm>
#include <strings.h>

namespace platform::svc {

std::string_view stateName(State state) {
    switch (state) {
    case State::Stopped:
        return "Stopped";
    case State::StartPending:
        return "Start Pending";
    case State::StopPending:
        return "Stop Pending";
    case State::Running:
        return "Running";
    case State::ContinuePending:
        return "Continue Pending";
    case State::PausePending:
        return "Pause Pending";
    case State::Paused:
        return "Paused";
    }
    return "Unknown";
}

std::string_view startModeName(StartMode mode) {
    return mode == StartMode::Automatic ? "Automatic" : "Disabled";
}

std::optional<StartMode> parseStartMode(std::string_view text) {
    for (const StartMode mode : {StartMode::Automatic, StartMode::Disabled}) {
        const std::string_view name = startModeName(mode);
        if (text.size() == name.size() && strncasecmp(text.data(), name.data(), text.size()) == 0) {
            return mode;
        }
    }
    return std::nullopt;
}

bool isValidServiceName(std::string_view name) {
    const auto allowed = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == '.';
    };
    return !name.empty() && name.size() <= 80 && name.front() != '.' &&
           std::all_of(name.begin(), name.end(), allowed);
}

std::string canonicalName(std::string_view name) {
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return lower;
}

bool isSendableControl(uint32_t code) {
    return (code >= kControlStop && code <= kControlInterrogate) ||
           (code >= kFirstUserControl && code <= kLastUserControl);
}

bool acceptsControl(uint32_t controlsAccepted, uint32_t code) {
    switch (code) {
    case kControlStop:
        return (controlsAccepted & kAcceptStop) != 0;
    case kControlPause:
    case kControlContinue:
        return (controlsAccepted & kAcceptPauseContinue) != 0;
    case kControlShutdown:
        return (controlsAccepted & kAcceptShutdown) != 0;
    default:
        return true;
    }
}

} // namespace platform::svc
