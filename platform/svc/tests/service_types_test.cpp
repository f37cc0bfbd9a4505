#include "platform/svc/service_types.h"

#include <gtest/gtest.h>

namespace platform::svc {
namespace {

TEST(ServiceTypes, StateNamesAreTheManagementNames) {
    const std::pair<State, std::string_view> cases[] = {
        {State::Stopped, "Stopped"},
        {State::StartPending, "Start Pending"},
        {State::StopPending, "Stop Pending"},
        {State::Running, "Running"},
        {State::ContinuePending, "Continue Pending"},
        {State::PausePending, "Pause Pending"},
        {State::Paused, "Paused"},
        {State(0), "Unknown"},
        {State(8), "Unknown"},
    };
    for (const auto& [state, name] : cases) {
        EXPECT_EQ(stateName(state), name) << uint32_t(state);
    }
}

TEST(ServiceTypes, StartModes) {
    EXPECT_EQ(startModeName(StartMode::Automatic), "Automatic");
    EXPECT_EQ(startModeName(StartMode::Disabled), "Disabled");
    const std::pair<std::string_view, std::optional<StartMode>> cases[] = {
        {"Automatic", StartMode::Automatic},
        {"automatic", StartMode::Automatic},
        {"DISABLED", StartMode::Disabled},
        {"Disabled", StartMode::Disabled},
        {"Auto", std::nullopt},
        {"Manual", std::nullopt},
        {"", std::nullopt},
        {"Disabled ", std::nullopt},
        {"Automatic\n", std::nullopt},
    };
    for (const auto& [text, mode] : cases) {
        EXPECT_EQ(parseStartMode(text), mode) << "[" << text << "]";
    }
}

TEST(ServiceTypes, ServiceNames) {
    const std::pair<std::string_view, bool> cases[] = {
        {"Ostrum", true},
        {"a", true},
        {"svc-1_x.y", true},
        {std::string_view("0123456789012345678901234567890123456789"
                          "0123456789012345678901234567890123456789"),
         true},
        {"", false},
        {".hidden", false},
        {"..", false},
        {"../etc", false},
        {"a/b", false},
        {"a b", false},
        {"a\nb", false},
        {std::string_view("a\0b", 3), false},
        {"\xe4\xb8\xad", false},
        {std::string_view("0123456789012345678901234567890123456789"
                          "01234567890123456789012345678901234567890"),
         false},
    };
    for (const auto& [name, valid] : cases) {
        EXPECT_EQ(isValidServiceName(name), valid) << "[" << name << "]";
    }
    EXPECT_EQ(canonicalName("OsTrum-1"), "ostrum-1");
}

TEST(ServiceTypes, ControlsThatCanBeSentAndAccepted) {
    for (uint32_t code = 0; code < 300; ++code) {
        const bool sendable = (code >= 1 && code <= 4) || (code >= 128 && code <= 255);
        EXPECT_EQ(isSendableControl(code), sendable) << code;
    }
    struct Case {
        uint32_t accepted;
        uint32_t code;
        bool expected;
    };
    const Case cases[] = {
        {0, kControlStop, false},
        {kAcceptStop, kControlStop, true},
        {0, kControlPause, false},
        {kAcceptPauseContinue, kControlPause, true},
        {kAcceptStop, kControlContinue, false},
        {7, kControlContinue, true},
        {3, kControlShutdown, false},
        {kAcceptShutdown, kControlShutdown, true},
        {0, kControlInterrogate, true},
        {0, 200, true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(acceptsControl(c.accepted, c.code), c.expected)
            << "accepted " << c.accepted << " code " << c.code;
    }
}

} // namespace
} // namespace platform::svc
