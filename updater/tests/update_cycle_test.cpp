#include "updater/update_cycle.h"

#include <gtest/gtest.h>

namespace ostrum::updater {
namespace {

TEST(CommandLine, OnlyExactlyDashSIsInteractive) {
    EXPECT_TRUE(isInteractiveCommandLine("-s"));
    EXPECT_TRUE(isInteractiveCommandLine("  -s "));
    for (const char* line : {"", "-S", "-s x", "s", "--s", "-s\t"}) {
        EXPECT_FALSE(isInteractiveCommandLine(line)) << '"' << line << '"';
    }
}

} // namespace
} // namespace ostrum::updater
