#include "service/program/base_service.h"
#include "service/tests/temp_folder.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using platform::svc::State;
using platform::svc::stateName;

// Records each hook with the state reported when it ran.
class RecordingService final : public BaseService {
public:
    RecordingService() : BaseService("Recording", "Recording Service") {}

    void run() override { record("run"); }
    bool onInit() override {
        record("init");
        return true;
    }
    void onStop() override { record("stop"); }
    void onPause() override { record("pause"); }
    void onContinue() override { record("continue"); }
    void onShutdown() override { record("shutdown"); }
    void onUserControl(uint32_t control) override { record("user " + std::to_string(control)); }

    std::vector<std::string> calls;

private:
    void record(const std::string& hook) {
        calls.push_back(hook + ":" + std::string(stateName(status().currentState)));
    }
};

TEST(ControlHandler, EveryCode) {
    struct Case {
        State before;
        uint32_t code;
        std::vector<std::string> calls;
        State after;
    };
    const Case cases[] = {
        {State::Running, 1, {"stop:Stop Pending"}, State::Stopped},
        {State::Running, 2, {"pause:Pause Pending"}, State::Paused},
        {State::Paused, 3, {"continue:Continue Pending"}, State::Running},
        {State::Running, 4, {}, State::Running},
        {State::Paused, 4, {}, State::Paused},
        {State::Running, 5, {"shutdown:Running"}, State::Running},
        {State::Running, 128, {"user 128:Running"}, State::Running},
        {State::Running, 200, {"user 200:Running"}, State::Running},
        {State::Paused, 200, {"user 200:Paused"}, State::Paused},
        {State::Paused, 255, {"user 255:Paused"}, State::Paused},
        {State::Running, 0, {}, State::Running},
        {State::Paused, 6, {}, State::Paused},
        {State::Running, 127, {}, State::Running},
        {State::Paused, 256, {}, State::Paused},
        {State::Running, 0xffffffff, {}, State::Running},
    };
    for (const Case& c : cases) {
        RecordingService service;
        service.reportStatus(c.before);
        BaseService::controlHandler(c.code);
        EXPECT_EQ(service.calls, c.calls) << "code " << c.code;
        EXPECT_EQ(service.status().currentState, c.after) << "code " << c.code;
    }
}

TEST(ReportStatus, AcceptedControlsAndWaitHint) {
    RecordingService service;
    for (uint32_t value = 1; value <= 7; ++value) {
        const State state = State(value);
        service.reportStatus(state);
        const platform::svc::ServiceStatus status = service.status();
        EXPECT_EQ(status.serviceType, 16u) << stateName(state);
        EXPECT_EQ(status.currentState, state) << stateName(state);
        EXPECT_EQ(status.controlsAccepted, state == State::StartPending ? 0u : 7u)
            << stateName(state);
        EXPECT_EQ(status.exitCode, 0u) << stateName(state);
        EXPECT_EQ(status.serviceSpecificExitCode, 0u) << stateName(state);
        EXPECT_EQ(status.checkPoint, 0u) << stateName(state);
        EXPECT_EQ(status.waitHint, 2000u) << stateName(state);
    }
}

TEST(ServiceMain, WithoutDispatcherReturnsWithoutReport) {
    RecordingService service;
    BaseService::serviceMain();
    EXPECT_TRUE(service.calls.empty());
    const platform::svc::ServiceStatus status = service.status();
    EXPECT_EQ(status.currentState, State::Stopped);
    EXPECT_EQ(status.waitHint, 0u);
}

TEST(HandleSwitches, OnlyInstallAndRemoveAreSwitches) {
    const testing::TempFolder registry;
    setenv("OSTRUM_SVC_ROOT", registry.path().c_str(), 1);
    RecordingService service;
    struct Case {
        std::vector<std::string> args;
        bool handled;
    };
    const Case cases[] = {
        {{"prog"}, false},        {{"prog", "-x"}, false},     {{"prog", "i"}, false},
        {{"prog", "--i"}, false}, {{"prog", "-iu"}, false},    {{"prog", ""}, false},
        {{"prog", "-i"}, true},   {{"prog", "-I"}, true},      {{"prog", "-u"}, true},
        {{"prog", "-U"}, true},   {{"prog", "-I", "x"}, true},
    };
    for (const Case& c : cases) {
        std::vector<char*> argv;
        std::vector<std::string> args = c.args;
        for (std::string& arg : args) {
            argv.push_back(arg.data());
        }
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(service.handleSwitches(int(argv.size()), argv.data()), c.handled)
            << c.args.back();
        ::testing::internal::GetCapturedStdout();
    }
    EXPECT_TRUE(service.isInstalled());
    unsetenv("OSTRUM_SVC_ROOT");
}

} // namespace
} // namespace ostrum
