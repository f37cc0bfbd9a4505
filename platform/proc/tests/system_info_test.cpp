#include "platform/proc/debug_privilege.h"
#include "platform/proc/os_version.h"
#include "platform/proc/physical_memory.h"
#include "platform/proc/priority.h"
#include "platform/proc/processor_id.h"
#include "platform/proc/program_file.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

namespace platform::proc {
namespace {

TEST(ProcessorId, SixteenHexDigits) {
    EXPECT_EQ(processorIdText(0xBFEBFBFF, 0x000306A9), "BFEBFBFF000306A9");
    EXPECT_EQ(processorIdText(0, 0), "0000000000000000");
    EXPECT_EQ(processorIdText(0xFFFFFFFF, 0xFFFFFFFF), "FFFFFFFFFFFFFFFF");
    const std::string id = processorId();
    EXPECT_EQ(id.size(), 16u);
    EXPECT_EQ(id.find_first_not_of("0123456789ABCDEF"), std::string::npos) << id;
}

TEST(Machine, MemoryAndVersion) {
    EXPECT_GT(totalPhysicalMemory(), 0u);
    utsname uts{};
    ASSERT_EQ(uname(&uts), 0);
    const OsVersion version = osVersion();
    EXPECT_EQ(version.detail, uts.release);
    EXPECT_FALSE(version.name.empty());
    EXPECT_EQ(osVersionText(), version.name + " " + version.detail);
}

TEST(OsVersion, PrettyNameOfOsRelease) {
    struct Case {
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n",
         "Debian GNU/Linux 12 (bookworm)"},
        {"PRETTY_NAME='Alpine'\r\nID=alpine\r\n", "Alpine"},
        {"PRETTY_NAME=Plain", "Plain"},
        {"XPRETTY_NAME=\"no\"\n", ""},
        {" PRETTY_NAME=\"no\"\n", ""},
        {"PRETTY_NAME=\"\n", "\""},
        {"PRETTY_NAME=\"\"", ""},
        {"", ""},
        {std::string("PRETTY_NAME=a\0b\n", 16), std::string("a\0b", 3)},
        {std::string(10000, '\n'), ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(prettyName(c.text), c.expected) << c.text;
    }
}

TEST(OsVersion, KernelReleaseNumbers) {
    struct Case {
        std::string release;
        unsigned major, minor, build;
    };
    const Case cases[] = {
        {"6.1.0-18-amd64", 6, 1, 0},
        {"5.10", 5, 10, 0},
        {"4.19.287", 4, 19, 287},
        {"", 0, 0, 0},
        {"abc", 0, 0, 0},
        {"6.x.1", 6, 0, 0},
        {"99999999999.1.2", 0, 0, 0},
        {"-1.2.3", 0, 0, 0},
        {"6..1", 6, 0, 0},
    };
    for (const Case& c : cases) {
        OsVersion version;
        parseKernelRelease(c.release, version);
        EXPECT_EQ(version.major, c.major) << c.release;
        EXPECT_EQ(version.minor, c.minor) << c.release;
        EXPECT_EQ(version.build, c.build) << c.release;
    }
}

TEST(ProgramFile, NamesAndPaths) {
    EXPECT_EQ(programFileName("update"), "update");
    EXPECT_EQ(programFileName("ostrumgui"), "ostrumgui");
    const std::filesystem::path path = modulePath();
    EXPECT_TRUE(path.is_absolute()) << path;
    EXPECT_EQ(path.filename(), "platform_system_info_test");
    EXPECT_EQ(programFolder(), path.parent_path().string());
}

TEST(Privileges, DebugPrivilegeAndPriority) {
    EXPECT_TRUE(enableDebugPrivilege());
    if (geteuid() != 0) {
        GTEST_SKIP() << "raising the priority needs root";
    }
    EXPECT_TRUE(raiseOwnPriority());
    EXPECT_EQ(getpriority(PRIO_PROCESS, 0), -10);
}

} // namespace
} // namespace platform::proc
