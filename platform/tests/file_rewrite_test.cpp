#include "platform/file_rewrite.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534; // nobody
constexpr gid_t kOtherGroup = 65534;

class Rewrite : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = fs::temp_directory_path() / "ostrum-rewrite-XXXXXX";
        m_folder = mkdtemp(pattern.data());
        m_file = m_folder + "/ostrum.cfg";
    }
    void TearDown() override {
        chmod(m_folder.c_str(), 0700);
        fs::remove_all(m_folder);
    }

    std::string text(const std::string& path) const {
        std::string out;
        EXPECT_TRUE(readWholeFile(path, out, 1 << 20)) << path;
        return out;
    }
    void put(const std::string& path, const std::string& content) const {
        ASSERT_TRUE(rewriteFile(path, content));
    }
    // Nothing but the named entries is left in the folder (no temporary file).
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_folder)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string m_folder;
    std::string m_file;
};

TEST_F(Rewrite, CreatesAndReplacesWholeWithoutLeavingTemporaryFiles) {
    put(m_file, "[setting]\r\nrun_mod=1\r\n");
    put(m_file, "x");
    EXPECT_EQ(text(m_file), "x");
    EXPECT_EQ(entries(), std::vector<std::string>{"ostrum.cfg"});
    EXPECT_FALSE(rewriteFile(m_folder + "/missing/ostrum.cfg", "x"));
}

TEST_F(Rewrite, KeepsOwnerGroupAndMode) {
    put(m_file, "old");
    ASSERT_EQ(chmod(m_file.c_str(), 0664), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(m_file.c_str(), kOtherUser, kOtherGroup), 0);
    }
    put(m_file, "new");
    struct stat info {};
    ASSERT_EQ(stat(m_file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0664u);
    if (root) {
        EXPECT_EQ(info.st_uid, kOtherUser);
        EXPECT_EQ(info.st_gid, kOtherGroup);
    }
    EXPECT_EQ(text(m_file), "new");
}

TEST_F(Rewrite, WritesThroughLinksToTheirTarget) {
    fs::create_directory(m_folder + "/real");
    put(m_folder + "/real/ostrum.cfg", "old");
    fs::create_symlink("real/ostrum.cfg", m_folder + "/middle");
    fs::create_symlink(m_folder + "/middle", m_file);
    put(m_file, "new");
    EXPECT_TRUE(fs::is_symlink(m_file));
    EXPECT_TRUE(fs::is_symlink(m_folder + "/middle"));
    EXPECT_EQ(text(m_folder + "/real/ostrum.cfg"), "new");
    EXPECT_EQ(linkTarget(m_file), m_folder + "/real/ostrum.cfg");
    // A link to a file not yet there makes that file.
    fs::create_symlink("made.cfg", m_folder + "/dangling");
    put(m_folder + "/dangling", "made");
    EXPECT_EQ(text(m_folder + "/made.cfg"), "made");
}

// A user who may write the file but not its folder: the file is rewritten in
// place, shorter and longer, and stays the same file.
TEST_F(Rewrite, RewritesInPlaceWhereTheFolderTakesNoNewFile) {
    put(m_file, "a longer first content");
    ASSERT_EQ(chmod(m_file.c_str(), 0666), 0);
    ASSERT_EQ(chmod(m_folder.c_str(), 0755), 0);
    struct stat before {};
    ASSERT_EQ(stat(m_file.c_str(), &before), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // As root, become a user without write access to the folder.
        const bool ready = geteuid() != 0 || (setgid(kOtherGroup) == 0 && setuid(kOtherUser) == 0);
        if (geteuid() != 0 && access(m_folder.c_str(), W_OK) == 0) {
            chmod(m_folder.c_str(), 0555);
        }
        _exit(ready && rewriteFile(m_file, "short") && rewriteFile(m_file, "longer than before!!!")
                  ? 0
                  : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(text(m_file), "longer than before!!!");
    struct stat after {};
    ASSERT_EQ(stat(m_file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(entries(), std::vector<std::string>{"ostrum.cfg"});
}

TEST_F(Rewrite, ReadIsBounded) {
    put(m_file, std::string(100, 'x'));
    std::string out = "kept";
    EXPECT_FALSE(readWholeFile(m_file, out, 99));
    EXPECT_EQ(out, "kept");
    EXPECT_TRUE(readWholeFile(m_file, out, 100));
    EXPECT_FALSE(readWholeFile(m_folder, out, 100)) << "a folder is no file";
}

} // namespace
} // namespace platform
