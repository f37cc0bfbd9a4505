#include "platform/proc/proc_stat.h"
#include "platform/proc/process_list.h"
#include "platform/svc/registry.h"
#include "platform/svc/standalone_manager.h"
#include "platform/svc/tests/scratch_registry.h"

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::svc {

void PrintTo(State state, std::ostream* out) {
    *out << stateName(state);
}

namespace {

using testing::ScratchRegistry;

constexpr const char* kName = "StandIn";
constexpr int kWaitSteps = 60000; // of 1 ms

// A registry folder, a data folder for the stand-in, and the stand-in service
// installed under its name.
class Standalone : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("STANDIN_DIR", m_data.path().c_str(), 1);
        ASSERT_EQ(manager.install(config()), 0);
    }

    void TearDown() override {
        // Whatever a test left running ends here.
        pid_t pid = 0;
        if (manager.queryProcessId(kName, pid) == 0 && pid > 0) {
            kill(pid, SIGKILL);
            waitUntil(State::Stopped);
        }
        unsetenv("STANDIN_DIR");
    }

    static ServiceConfig config() {
        return {kName, "Stand-in Service", STANDIN_PATH, StartMode::Automatic};
    }

    State state() {
        ServiceStatus status;
        EXPECT_EQ(manager.queryStatus(kName, status), 0);
        return status.currentState;
    }

    // The bound guards against a hang; it is far beyond any answer time.
    void waitUntil(State wanted) {
        for (int i = 0; state() != wanted; ++i) {
            ASSERT_LT(i, kWaitSteps) << "never " << stateName(wanted);
            usleep(1000);
        }
    }

    std::string controls() const { return dataText("controls.log"); }
    std::string dataText(const std::string& name) const {
        std::string text;
        (void)readFileText(m_data.file(name), text);
        return text;
    }

    ScratchRegistry m_root;
    ScratchRegistry m_data;
    StandaloneManager manager{m_root.path()};
};

TEST_F(Standalone, InstallQueryAndRemove) {
    EXPECT_EQ(manager.install(config()), kErrorExists);
    EXPECT_TRUE(manager.isInstalled("standin"));
    EXPECT_TRUE(manager.isInstalled("STANDIN"));
    EXPECT_FALSE(manager.isInstalled("other"));
    ServiceConfig read;
    ASSERT_EQ(manager.queryConfig(kName, read), 0);
    EXPECT_EQ(read.name, kName);
    EXPECT_EQ(read.displayName, "Stand-in Service");
    EXPECT_EQ(read.program, STANDIN_PATH);
    EXPECT_EQ(read.startMode, StartMode::Automatic);
    EXPECT_EQ(state(), State::Stopped);
    pid_t pid = -1;
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    EXPECT_EQ(pid, 0);

    EXPECT_EQ(manager.remove(kName), 0);
    EXPECT_FALSE(manager.isInstalled(kName));
    EXPECT_EQ(manager.remove(kName), kErrorNotInstalled);
    ServiceStatus status;
    EXPECT_EQ(manager.queryStatus(kName, status), kErrorNotInstalled);
    EXPECT_EQ(manager.start(kName), kErrorNotInstalled);
    EXPECT_EQ(manager.control(kName, kControlStop), kErrorNotInstalled);
}

TEST_F(Standalone, RefusesBadNamesAndTexts) {
    const ServiceConfig bad[] = {
        {"../x", "x", "/bin/true", StartMode::Automatic},
        {"", "x", "/bin/true", StartMode::Automatic},
        {"a/b", "x", "/bin/true", StartMode::Automatic},
        {"ok", "two\nlines", "/bin/true", StartMode::Automatic},
        {"ok", "x", "/bin/\rtrue", StartMode::Automatic},
        {"ok", "x", "", StartMode::Automatic},
    };
    for (const ServiceConfig& c : bad) {
        EXPECT_EQ(manager.install(c), kErrorInvalid) << c.name << "|" << c.displayName;
    }
    EXPECT_EQ(manager.start("../standin"), kErrorInvalid);
    EXPECT_EQ(manager.control("../standin", kControlStop), kErrorInvalid);
    EXPECT_FALSE(manager.isInstalled("../standin"));
}

TEST_F(Standalone, StartControlsAndStop) {
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Running);
    EXPECT_EQ(manager.start(kName), kErrorAlreadyRunning);
    pid_t pid = 0;
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    EXPECT_GT(pid, 0);
    EXPECT_EQ(proc::processFileName(pid), "svc_standin");

    struct Step {
        uint32_t code;
        State after;
    };
    const Step steps[] = {
        {kControlPause, State::Paused},
        {200, State::Paused},
        {kControlInterrogate, State::Paused},
        {kControlContinue, State::Running},
        {200, State::Running},
    };
    for (const Step& step : steps) {
        // control() returns once the handler has taken the code.
        EXPECT_EQ(manager.control(kName, step.code), 0) << step.code;
        EXPECT_EQ(state(), step.after) << step.code;
    }
    EXPECT_EQ(manager.control(kName, kControlStop), 0);
    waitUntil(State::Stopped);
    EXPECT_EQ(controls(), "2\n200\n4\n3\n200\n1\n");
    EXPECT_EQ(manager.control(kName, kControlStop), kErrorNotActive);

    // It starts again once the old process has ended.
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Running);
    EXPECT_EQ(manager.control(kName, kControlStop), 0);
    waitUntil(State::Stopped);
}

TEST_F(Standalone, ControlCodesOutsideTheSetAreRefused) {
    for (const uint32_t code : {0u, 5u, 6u, 127u, 256u, 0xffffffffu}) {
        EXPECT_EQ(manager.control(kName, code), kErrorInvalid) << code;
    }
    EXPECT_EQ(manager.control(kName, 200), kErrorNotActive);
}

TEST_F(Standalone, TerminationSignalIsAStop) {
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Running);
    pid_t pid = 0;
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    waitUntil(State::Stopped);
    EXPECT_EQ(controls(), "1\n");
}

TEST_F(Standalone, ControlsWaitUntilTheServiceAcceptsThem) {
    std::ofstream(m_data.file("hold")) << "";
    ASSERT_EQ(manager.start(kName), 0);
    EXPECT_EQ(state(), State::StartPending);
    EXPECT_EQ(manager.control(kName, kControlStop), kErrorCannotAccept);
    pid_t pid = 0;
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    // A stop from outside the manager waits until the service runs.
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    std::filesystem::remove(m_data.file("hold"));
    waitUntil(State::Stopped);
    EXPECT_EQ(controls(), "1\n");
}

TEST_F(Standalone, EndedProcessReadsAsStopped) {
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Running);
    // 201 makes the stand-in end without a word; so does a kill.
    EXPECT_EQ(manager.control(kName, 201), 0);
    waitUntil(State::Stopped);
    EXPECT_EQ(manager.control(kName, kControlStop), kErrorNotActive);

    ASSERT_EQ(manager.start(kName), 0);
    pid_t pid = 0;
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    ASSERT_EQ(kill(pid, SIGKILL), 0);
    waitUntil(State::Stopped);
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    EXPECT_EQ(pid, 0);
}

TEST_F(Standalone, DisabledServiceDoesNotStart) {
    ASSERT_EQ(manager.changeStartMode(kName, StartMode::Disabled), 0);
    ServiceConfig read;
    ASSERT_EQ(manager.queryConfig(kName, read), 0);
    EXPECT_EQ(read.startMode, StartMode::Disabled);
    EXPECT_EQ(manager.start(kName), kErrorDisabled);
    EXPECT_EQ(state(), State::Stopped);
    ASSERT_EQ(manager.changeStartMode(kName, StartMode::Automatic), 0);
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Running);
    EXPECT_EQ(manager.control(kName, kControlStop), 0);
    waitUntil(State::Stopped);
    EXPECT_EQ(manager.changeStartMode("other", StartMode::Disabled), kErrorNotInstalled);
}

TEST_F(Standalone, BootStartsOnlyAutomaticServicesThatAreStopped) {
    ASSERT_EQ(manager.install({"Second", "Second", STANDIN_PATH, StartMode::Disabled}), 0);
    using Results = std::vector<std::pair<std::string, int>>;
    EXPECT_EQ(manager.startAutomatic(), (Results{{kName, 0}}));
    waitUntil(State::Running);
    EXPECT_EQ(manager.startAutomatic(), Results{}) << "a running service is left alone";
    ServiceStatus second;
    ASSERT_EQ(manager.queryStatus("Second", second), 0);
    EXPECT_EQ(second.currentState, State::Stopped);
    EXPECT_EQ(StandaloneManager(m_root.file("missing")).startAutomatic(), Results{});
}

TEST_F(Standalone, TokenIsShownOnce) {
    ASSERT_EQ(manager.start(kName), 0);
    const Registry registry(m_root.path());
    EXPECT_EQ(registry.readStatus(kName).token, "");
    waitUntil(State::Running);
    EXPECT_EQ(manager.control(kName, kControlStop), 0);
    waitUntil(State::Stopped);
}

// The stand-in started outside the manager, with the environment given.
int runByHand(const std::vector<std::string>& extra) {
    std::vector<std::string> texts;
    for (char** e = environ; *e != nullptr; ++e) {
        texts.emplace_back(*e);
    }
    texts.insert(texts.end(), extra.begin(), extra.end());
    std::vector<char*> envp;
    for (std::string& t : texts) {
        envp.push_back(t.data());
    }
    envp.push_back(nullptr);
    char program[] = STANDIN_PATH;
    char* argv[] = {program, nullptr};
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, envp.data()), 0);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST_F(Standalone, StartedByHandIsRefused) {
    const std::string root = std::string(kRootVariable) + "=" + m_root.path();
    const std::vector<std::vector<std::string>> environments = {
        {},
        {root},
        {root, std::string(kTokenVariable) + "="},
        {root, std::string(kTokenVariable) + "=0123456789abcdef0123456789abcdef"},
        {root, "NOTIFY_SOCKET=/run/systemd/notify"},
    };
    for (const auto& extra : environments) {
        EXPECT_EQ(runByHand(extra), 3) << (extra.empty() ? "" : extra.back());
    }
    std::string refusals;
    for (size_t i = 0; i < environments.size(); ++i) {
        refusals += std::to_string(kErrorNotService) + "\n";
    }
    EXPECT_EQ(dataText("refused"), refusals);
    EXPECT_EQ(state(), State::Stopped);
}

TEST_F(Standalone, RemovalWhileRunningLeavesNoRecordBehind) {
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Running);
    pid_t pid = 0;
    ASSERT_EQ(manager.queryProcessId(kName, pid), 0);
    ASSERT_EQ(manager.remove(kName), 0);
    EXPECT_FALSE(manager.isInstalled(kName));
    // Its last reports find nobody to tell.
    ASSERT_EQ(kill(pid, SIGTERM), 0);
    for (int i = 0; proc::isProcessAlive(pid, 0); ++i) {
        ASSERT_LT(i, kWaitSteps) << "the stand-in never ended";
        usleep(1000);
    }
    EXPECT_FALSE(std::filesystem::exists(Registry(m_root.path()).statusPath(kName)));
    EXPECT_FALSE(std::filesystem::exists(Registry(m_root.path()).configPath(kName)));
}

} // namespace
} // namespace platform::svc
