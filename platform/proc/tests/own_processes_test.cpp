#include "platform/proc/own_processes.h"
#include "platform/proc/proc_stat.h"
#include "platform/proc/program_file.h"
#include "platform/proc/program_start.h"
#include "platform/proc/tests/scratch_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

namespace platform::proc {
namespace {

using testing::ScratchFolder;

// Two program folders, each with a program of the same name.
class TwoFolders : public ::testing::Test {
protected:
    void SetUp() override {
        m_name = "ostrum-own-test-" + std::to_string(getpid());
        for (const ScratchFolder* folder : {&m_ours, &m_theirs}) {
            std::filesystem::copy_file("/bin/sleep", folder->file(m_name));
        }
    }

    pid_t start(const ScratchFolder& folder) {
        return startProgram(folder.file(m_name), {"30"}, {Window::Hidden, Wait::No, {}, {}});
    }

    static void waitUntilGone(pid_t pid) {
        while (isProcessAlive(pid, 0)) {
            usleep(1000);
        }
    }

    ScratchFolder m_ours;
    ScratchFolder m_theirs;
    std::string m_name;
};

TEST_F(TwoFolders, OnlyTheFoldersOwnProcessIsFoundAndEnded) {
    const pid_t ours = start(m_ours);
    const pid_t theirs = start(m_theirs);
    ASSERT_GT(ours, 0);
    ASSERT_GT(theirs, 0);
    EXPECT_EQ(ownProcesses(m_ours.path(), m_name), std::vector<pid_t>{ours});
    EXPECT_EQ(ownProcessIdOf(m_ours.path() + "/", m_name), ours);
    EXPECT_EQ(ownProcessIdOf(m_theirs.path(), m_name), theirs);
    EXPECT_EQ(ownProcessIdOf(m_ours.path(), "ostrum-own-test"), 0) << "another name";

    EXPECT_EQ(terminateOwnProcesses(m_ours.path(), m_name), 1);
    waitUntilGone(ours);
    EXPECT_TRUE(isProcessAlive(theirs, 0)) << "another folder's process lives on";
    EXPECT_EQ(terminateOwnProcesses(m_theirs.path(), m_name), 1);
    waitUntilGone(theirs);
}

TEST_F(TwoFolders, LinkedFolderAndReplacedFileStillMatch) {
    const pid_t ours = start(m_ours);
    ASSERT_GT(ours, 0);
    const std::string link = m_theirs.file("link");
    std::filesystem::create_directory_symlink(m_ours.path(), link);
    EXPECT_EQ(ownProcessIdOf(link, m_name), ours);
    std::filesystem::remove(m_ours.file(m_name));
    EXPECT_EQ(ownProcessIdOf(m_ours.path(), m_name), ours) << "its file was replaced";
    EXPECT_EQ(terminateOwnProcesses(link, m_name), 1);
    waitUntilGone(ours);
}

TEST(OwnProcesses, NothingWithoutAFolderOrAName) {
    EXPECT_EQ(executablePath(getpid()), modulePath());
    EXPECT_EQ(executablePath(0x7ffffff0), "");
    EXPECT_TRUE(ownProcesses("", "sleep").empty());
    EXPECT_TRUE(ownProcesses("/usr/bin", "").empty());
    EXPECT_EQ(terminateOwnProcesses("", "sleep"), 0);
    EXPECT_EQ(programPathIn("/no/such/folder/", "ostrum"), "/no/such/folder/ostrum");
}

} // namespace
} // namespace platform::proc
