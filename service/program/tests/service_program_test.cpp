#include "platform/proc/proc_stat.h"
#include "platform/svc/standalone_manager.h"
#include "service/tests/temp_folder.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace ostrum {
namespace {

using platform::svc::State;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

constexpr const char* kName = "Ostrum";
constexpr int kWaitSteps = 60000; // of 1 ms: a guard against a hang only

// Runs the program with the arguments and returns what it printed; its exit
// status must be the one given.
std::string runProgram(const std::string& program, const std::vector<std::string>& args,
                       int exitStatus) {
    int fds[2];
    EXPECT_EQ(pipe(fds), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<std::string> texts{program};
    texts.insert(texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : texts) {
        argv.push_back(text.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    EXPECT_EQ(posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t got = 0; (got = read(fds[0], buffer, sizeof buffer)) > 0;) {
        output.append(buffer, size_t(got));
    }
    close(fds[0]);
    int status = 0;
    EXPECT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == exitStatus) << status << " " << output;
    return output;
}

// A program folder holding the service program and a registry of its own.
class ServiceProgram : public ::testing::Test {
protected:
    void SetUp() override {
        m_program = std::filesystem::canonical(m_folder.path()).string() + "/ostrum";
        std::filesystem::copy_file(OSTRUM_PROGRAM, m_program);
        setenv(platform::svc::kRootVariable, m_registry.path().c_str(), 1);
    }
    void TearDown() override {
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitUntilGone();
        }
        unsetenv(platform::svc::kRootVariable);
    }

    std::string run(const std::vector<std::string>& args, int exitStatus = 0) {
        return runProgram(m_program, args, exitStatus);
    }

    State state() {
        platform::svc::ServiceStatus status;
        EXPECT_EQ(manager.queryStatus(kName, status), 0);
        return status.currentState;
    }
    void waitUntil(State wanted) {
        for (int i = 0; state() != wanted; ++i) {
            ASSERT_LT(i, kWaitSteps) << "never " << platform::svc::stateName(wanted);
            usleep(1000);
        }
    }
    void startService() {
        ASSERT_EQ(manager.start(kName), 0);
        ASSERT_EQ(manager.queryProcessId(kName, m_pid), 0);
        waitUntilLogged("ostrum start!");
        // Running is reported once the ports are open, just after that line.
        waitUntil(State::Running);
    }
    void waitUntilGone() {
        for (int i = 0; platform::proc::isProcessAlive(m_pid, 0); ++i) {
            ASSERT_LT(i, kWaitSteps) << "the service never ended";
            usleep(1000);
        }
        m_pid = 0;
    }
    void waitUntilLogged(const std::string& line) {
        for (int i = 0; runLog().find(line) == std::string::npos; ++i) {
            ASSERT_LT(i, kWaitSteps) << "never logged: " << line << "\n" << runLog();
            usleep(1000);
        }
    }
    std::string runLog() const { return readFile(m_folder.path().string() + "/log/ostrum.log"); }

    std::string removedText() const {
        return "Ostrum removed.\nYou must delete the file \"" + m_program + "\" yourself.\n" +
               m_program + " removed.";
    }

    TempFolder m_registry{false};
    TempFolder m_folder;
    std::string m_program;
    pid_t m_pid = 0;
    platform::svc::StandaloneManager manager{m_registry.path().string()};
};

TEST_F(ServiceProgram, SwitchesPrintTheirTexts) {
    struct Step {
        std::string arg;
        std::string text;
        int exitStatus;
    };
    const Step steps[] = {
        {"-i", "Ostrum installed\n", 0},
        {"-I", "Ostrum is already installed\n", 0},
        {"-u", removedText(), 0},
        {"-U", "Ostrum is not installed\n", 1},
        {"-u", "Ostrum is not installed\n", 1},
        {"-I", "Ostrum installed\n", 0},
        {"-i", "Ostrum is already installed\n", 0},
        {"-U", removedText(), 0},
    };
    for (const Step& step : steps) {
        EXPECT_EQ(run({step.arg}, step.exitStatus), step.text) << step.arg;
    }
}

TEST_F(ServiceProgram, InstallRecordsTheProgram) {
    ASSERT_EQ(run({"-i"}), "Ostrum installed\n");
    platform::svc::ServiceConfig config;
    ASSERT_EQ(manager.queryConfig("ostrum", config), 0);
    EXPECT_EQ(config.name, "Ostrum");
    EXPECT_EQ(config.displayName, "Ostrum Service");
    EXPECT_EQ(config.program, m_program);
    EXPECT_EQ(config.startMode, platform::svc::StartMode::Automatic);
}

TEST_F(ServiceProgram, WithoutSwitchItWantsTheServiceManager) {
    const std::string notInstalled =
        "The service is not installed, use \"" + m_program + " -i\" to install.\n";
    EXPECT_EQ(run({}, 1), notInstalled);
    EXPECT_EQ(run({"-x"}, 1), notInstalled);
    ASSERT_EQ(run({"-i"}), "Ostrum installed\n");
    const std::string refused = "The service can not run from command line.\n";
    EXPECT_EQ(run({}, 1), refused);
    EXPECT_EQ(run({"-x"}, 1), refused);
    EXPECT_EQ(run({"install"}, 1), refused);
    EXPECT_EQ(state(), State::Stopped);
}

TEST_F(ServiceProgram, InstallFailurePrintsTheError) {
    writeFile(m_registry.path().string() + "/plain", "a file, not a folder");
    setenv(platform::svc::kRootVariable, (m_registry.path().string() + "/plain/svc").c_str(), 1);
    EXPECT_EQ(run({"-i"}, 1), "Ostrum failed to install. Error " + std::to_string(ENOTDIR) + "\n");
}

TEST_F(ServiceProgram, RunsPausesAndStops) {
    ASSERT_EQ(run({"-i"}), "Ostrum installed\n");
    startService();
    EXPECT_EQ(state(), State::Running);
    const std::pair<uint32_t, State> steps[] = {
        {platform::svc::kControlPause, State::Paused},     {200, State::Paused},
        {platform::svc::kControlContinue, State::Running}, {200, State::Running},
        {platform::svc::kControlStop, State::Stopped},
    };
    for (const auto& [code, after] : steps) {
        EXPECT_EQ(manager.control(kName, code), 0) << code;
        EXPECT_EQ(state(), after) << code;
    }
    waitUntilGone();
    EXPECT_TRUE(runLog().ends_with("ostrum stop!\r\n")) << runLog();
    EXPECT_EQ(manager.control(kName, platform::svc::kControlStop), platform::svc::kErrorNotActive);
}

TEST_F(ServiceProgram, DisabledProtectionStopsTheService) {
    writeFile(m_folder.path().string() + "/ostrum.cfg", "[setting]\nrun_mod=3\n");
    ASSERT_EQ(run({"-i"}), "Ostrum installed\n");
    ASSERT_EQ(manager.start(kName), 0);
    waitUntil(State::Stopped);
    EXPECT_NE(runLog().find("Failed to start.Ostrum was set to Disabled."), std::string::npos);
    platform::svc::ServiceStatus status;
    ASSERT_EQ(manager.queryStatus(kName, status), 0);
    EXPECT_EQ(status.exitCode, 1066u) << "the service-specific code holds the reason";
    EXPECT_EQ(status.serviceSpecificExitCode, 1u);
}

TEST_F(ServiceProgram, RemovalWhileRunningStopsIt) {
    ASSERT_EQ(run({"-i"}), "Ostrum installed\n");
    startService();
    EXPECT_EQ(run({"-u"}), "Stopping service...\n" + removedText());
    EXPECT_FALSE(manager.isInstalled(kName));
    waitUntilGone();
    EXPECT_TRUE(runLog().ends_with("ostrum stop!\r\n")) << runLog();
    EXPECT_EQ(run({"-u"}, 1), "Ostrum is not installed\n");
}

} // namespace
} // namespace ostrum
