#include "platform/proc/proc_stat.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace platform::proc {
namespace {

// The fields after the name, from the state (field 3) to the start time (22).
const std::string kTail = " S 1 1 1 0 -1 4194560 100 0 0 0 17 23 0 0 20 0 1 0 4242 1000 10";

TEST(ProcStat, ReadsWholeLines) {
    struct Case {
        std::string text;
        std::string comm;
    };
    const Case cases[] = {
        {"12 (ostrum)" + kTail, "ostrum"},
        {"12 (a b)" + kTail, "a b"},
        {"12 (x) y (z))" + kTail, "x) y (z)"},
        {"12 ()" + kTail + "\n", ""},
    };
    for (const Case& c : cases) {
        ProcStat stat;
        ASSERT_TRUE(parseProcStat(c.text, stat)) << c.text;
        EXPECT_EQ(stat.comm, c.comm) << c.text;
        EXPECT_EQ(stat.state, 'S') << c.text;
        EXPECT_EQ(stat.userTicks, 17u) << c.text;
        EXPECT_EQ(stat.kernelTicks, 23u) << c.text;
        EXPECT_EQ(stat.startTicks, 4242u) << c.text;
    }
}

TEST(ProcStat, RefusesMalformedLines) {
    const std::string cases[] = {
        "",
        "12 ostrum" + kTail,
        "12 )ostrum(" + kTail,
        "12 (ostrum) S 1 1",
        "12 (ostrum) SS 1 1 1 0 -1 4194560 100 0 0 0 17 23 0 0 20 0 1 0 4242",
        "12 (ostrum) S 1 1 1 0 -1 4194560 100 0 0 0 x7 23 0 0 20 0 1 0 4242",
        "12 (ostrum) S 1 1 1 0 -1 4194560 100 0 0 0 17 23 0 0 20 0 1 0 -4242",
        "12 (ostrum) S 1 1 1 0 -1 4194560 100 0 0 0 17 23 0 0 20 0 1 0 99999999999999999999",
        std::string("12 (a\0b) S 1", 12),
        std::string(4096, ')'),
    };
    for (const std::string& text : cases) {
        ProcStat stat;
        stat.comm = "kept";
        EXPECT_FALSE(parseProcStat(text, stat)) << text;
        EXPECT_EQ(stat.comm, "kept") << text;
    }
}

TEST(ProcStat, OwnProcessIsAliveOnlyWithItsStartTime) {
    ProcStat own;
    ASSERT_TRUE(readProcStat(getpid(), own));
    EXPECT_TRUE(isProcessAlive(getpid(), 0));
    EXPECT_TRUE(isProcessAlive(getpid(), own.startTicks));
    EXPECT_FALSE(isProcessAlive(getpid(), own.startTicks + 1));
    EXPECT_FALSE(isProcessAlive(0, 0));
    EXPECT_FALSE(isProcessAlive(-1, 0));
}

TEST(ProcStat, EndedChildIsNotAlive) {
    pid_t pid = 0;
    char program[] = "/bin/true";
    char* argv[] = {program, nullptr};
    ASSERT_EQ(posix_spawn(&pid, program, nullptr, nullptr, argv, environ), 0);
    // Until it is collected the child is a zombie, which has ended all the same.
    ProcStat stat;
    while (readProcStat(pid, stat) && stat.state != 'Z') {
        usleep(1000);
    }
    EXPECT_FALSE(isProcessAlive(pid, 0));
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_FALSE(isProcessAlive(pid, 0));
}

} // namespace
} // namespace platform::proc
