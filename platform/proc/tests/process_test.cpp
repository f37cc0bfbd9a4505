#include "platform/proc/process_list.h"
#include "platform/proc/process_times.h"
#include "platform/proc/program_file.h"
#include "platform/proc/program_start.h"
#include "platform/proc/tests/scratch_folder.h"
#include "platform/proc/working_set.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace platform::proc {
namespace {

using testing::ScratchFolder;

std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return char(std::toupper(c)); });
    return text;
}

// Waits until no process of that name runs; the reaper collects ended ones.
void waitUntilGone(const std::string& name) {
    while (processIdOf(name) != 0) {
        usleep(1000);
    }
}

TEST(OwnProcess, FiguresAndName) {
    const std::string own = std::filesystem::path(modulePath()).filename();
    EXPECT_EQ(processFileName(getpid()), own);
    EXPECT_GT(workingSetBytes(getpid()), 0u);
    ProcessTimes times;
    EXPECT_TRUE(processTimes(getpid(), times));
    const std::vector<pid_t> found = processesByName(upper(own));
    EXPECT_NE(std::find(found.begin(), found.end(), getpid()), found.end()) << own;
    // The caller is never its own victim.
    EXPECT_EQ(terminateProcesses("no-such-program-here"), 0);
}

TEST(OwnProcess, NoFiguresForMissingProcesses) {
    for (const pid_t pid : {pid_t(0), pid_t(-1), pid_t(0x7ffffff0)}) {
        EXPECT_EQ(workingSetBytes(pid), 0u) << pid;
        ProcessTimes times;
        times.user = std::chrono::nanoseconds(5);
        EXPECT_FALSE(processTimes(pid, times)) << pid;
        EXPECT_EQ(times.user.count(), 0) << pid;
        EXPECT_EQ(times.kernel.count(), 0) << pid;
    }
    EXPECT_EQ(processIdOf("no-such-program-here"), 0);
    EXPECT_TRUE(processesByName("").empty());
}

// A child under a name no other process on the machine has.
class ChildProcess : public ::testing::Test {
protected:
    void SetUp() override {
        m_name = "ostrum-proc-test-" + std::to_string(getpid());
        std::filesystem::copy_file("/bin/sleep", m_folder.file(m_name));
    }

    ScratchFolder m_folder;
    std::string m_name;
};

TEST_F(ChildProcess, IsFoundMeasuredAndEnded) {
    const pid_t pid = startProgram(m_name, {"30"}, {Window::Hidden, Wait::No, m_folder.path(), {}});
    ASSERT_GT(pid, 0);
    EXPECT_EQ(processFileName(pid), m_name);
    EXPECT_EQ(processIdOf(m_name), pid);
    EXPECT_EQ(processesByName(upper(m_name)), std::vector<pid_t>{pid});
    EXPECT_GT(workingSetBytes(pid), 0u);
    ProcessTimes times;
    EXPECT_TRUE(processTimes(pid, times));
    EXPECT_EQ(terminateProcesses(m_name), 1);
    waitUntilGone(m_name);
    EXPECT_TRUE(processesByName(m_name).empty());
}

TEST_F(ChildProcess, SeveralOfOneNameAllEnd) {
    const StartOptions options{Window::Hidden, Wait::No, m_folder.path(), {}};
    const pid_t first = startProgram(m_name, {"30"}, options);
    const pid_t second = startProgram(m_name, {"30"}, options);
    ASSERT_GT(first, 0);
    ASSERT_GT(second, 0);
    EXPECT_EQ(processIdOf(m_name), std::min(first, second));
    EXPECT_EQ(processesByName(m_name).size(), 2u);
    EXPECT_EQ(terminateProcesses(m_name), 2);
    waitUntilGone(m_name);
}

} // namespace
} // namespace platform::proc
