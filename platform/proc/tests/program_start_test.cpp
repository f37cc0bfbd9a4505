#include "platform/proc/program_start.h"
#include "platform/proc/tests/scratch_folder.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <pthread.h>
#include <set>
#include <unistd.h>

namespace platform::proc {
namespace {

using testing::readText;
using testing::ScratchFolder;
using testing::writeScript;

// Runs a shell command in the scratch folder and waits for it.
class ShellRun : public ::testing::Test {
protected:
    void SetUp() override {
        m_previous = std::filesystem::current_path();
        std::filesystem::current_path(m_folder.path());
    }
    void TearDown() override { std::filesystem::current_path(m_previous); }

    std::string run(const std::string& command, Window window = Window::Hidden) {
        const pid_t pid = startProgram("sh", {"-c", command}, {window, Wait::UntilEnd, {}, {}});
        EXPECT_GT(pid, 0) << command;
        return readText(m_folder.file("out.txt"));
    }

    ScratchFolder m_folder;
    std::filesystem::path m_previous;
};

TEST_F(ShellRun, ChildGetsCallersFolderAndArguments) {
    EXPECT_EQ(run("pwd > out.txt; echo \"$0|$1\" >> out.txt"),
              std::filesystem::canonical(m_folder.path()).string() + "\nsh|\n");
}

TEST(StartProgram, ChildStartsInTheWorkingFolderGiven) {
    ScratchFolder caller;
    ScratchFolder target;
    const std::string out = caller.file("out.txt");
    StartOptions options{Window::Hidden, Wait::UntilEnd, {}, target.path()};
    EXPECT_GT(startProgram("sh", {"-c", "pwd > " + out}, options), 0);
    EXPECT_EQ(readText(out), std::filesystem::canonical(target.path()).string() + "\n");
    options.workingFolder = target.file("missing");
    EXPECT_EQ(startProgram("sh", {"-c", "true"}, options), 0);
}

std::set<std::string> descriptorsOf(pid_t pid) {
    std::set<std::string> fds;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd")) {
        fds.insert(entry.path().filename().string());
    }
    return fds;
}

// Descriptors the caller left inheritable (as libraries do) stay behind. The
// shell has finished its own start-up once its first command has run, and
// opens nothing while it loops on a builtin until the file is gone.
TEST_F(ShellRun, ChildGetsOnlyTheStandardStreams) {
    const int inheritable = open("/dev/null", O_RDONLY);
    ASSERT_GE(inheritable, 3);
    for (const Window window : {Window::Hidden, Window::Shown}) {
        std::filesystem::remove("ready.txt");
        const pid_t pid =
            startProgram("sh", {"-c", "touch ready.txt; while [ -e ready.txt ]; do :; done"},
                         {window, Wait::No, {}, {}});
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 10000 && !std::filesystem::exists("ready.txt"); ++i) {
            usleep(1000); // a bound against a hang only
        }
        EXPECT_EQ(descriptorsOf(pid), (std::set<std::string>{"0", "1", "2"}));
        std::filesystem::remove("ready.txt");
    }
    close(inheritable);
}

TEST_F(ShellRun, HiddenChildWritesToNowhere) {
    // Standard output is the file here; input and errors show what the child got.
    EXPECT_EQ(run("readlink /proc/self/fd/0 /proc/self/fd/2 > out.txt"), "/dev/null\n/dev/null\n");
}

TEST_F(ShellRun, ShownChildSharesCallersErrorStream) {
    char own[4096] = {};
    ASSERT_GT(readlink("/proc/self/fd/2", own, sizeof own - 1), 0);
    EXPECT_EQ(run("readlink /proc/self/fd/2 > out.txt", Window::Shown), std::string(own) + "\n");
}

TEST_F(ShellRun, ChildStartsWithNoSignalBlocked) {
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    sigaddset(&blocked, SIGUSR1);
    sigset_t previous;
    pthread_sigmask(SIG_BLOCK, &blocked, &previous);
    const std::string status = run("exec grep SigBlk /proc/self/status > out.txt");
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    EXPECT_EQ(status, "SigBlk:\t0000000000000000\n");
}

TEST(FindProgram, FirstFolderComesBeforeThePath) {
    ScratchFolder first;
    writeScript(first.file("sh"), "exit 0");
    writeScript(first.file("probe"), "exit 0");
    std::ofstream(first.file("plain")) << "not executable\n";
    std::filesystem::create_directory(first.file("folder"));

    struct Case {
        std::string program;
        std::string expected;
    };
    const Case cases[] = {
        {"probe", first.file("probe")},
        {"sh", first.file("sh")},
        {"plain", ""},
        {"folder", ""},
        {"", ""},
        {"no-such-program-here", ""},
        {first.file("probe"), first.file("probe")},
        {first.file("plain"), ""},
        {"./no-such-program-here", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(findProgram(c.program, first.path()), c.expected) << c.program;
    }
    // Programs not in the first folder come from PATH.
    const std::string fromPath = findProgram("true", first.path());
    EXPECT_FALSE(fromPath.empty());
    EXPECT_EQ(std::filesystem::path(fromPath).filename(), "true");
}

TEST(StartProgram, MissingProgramFailsSilently) {
    ScratchFolder folder;
    EXPECT_EQ(
        startProgram("no-such-program-here", {}, {Window::Hidden, Wait::No, folder.path(), {}}), 0);
    EXPECT_EQ(startProgram("", {}, {}), 0);
}

} // namespace
} // namespace platform::proc
