#include "platform/debug.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

TEST(Trace, WritesWholeLinesOnlyWhileOn) {
    const std::string path =
        (std::filesystem::temp_directory_path() / "ostrum-trace-test.log").string();
    std::filesystem::remove(path);

    platform::setTraceTarget("");
    EXPECT_FALSE(platform::traceEnabled());
    platform::traceWrite("dropped");

    platform::setTraceTarget(path);
    EXPECT_TRUE(platform::traceEnabled());
    platform::traceWrite("config constuct");
    platform::traceWrite("line with end\n");
    platform::setTraceTarget("");
    EXPECT_FALSE(platform::traceEnabled());

    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}),
              "config constuct\nline with end\n");
    std::filesystem::remove(path);
}

} // namespace
