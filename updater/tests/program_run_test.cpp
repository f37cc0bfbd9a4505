#include "updater/program_run.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace ostrum::updater {
namespace {

std::string scratchFolder() {
    std::string pattern = std::filesystem::temp_directory_path() / "ostrum-run-XXXXXX";
    return mkdtemp(pattern.data());
}

TEST(ProgramRun, GivesTheExitCodeAndRunsInTheFolder) {
    const std::string folder = scratchFolder();
    EXPECT_EQ(runHiddenAndWait("sh", {"-c", "pwd > here; exit 3"}, folder), 3);
    std::ifstream here(folder + "/here");
    const std::string text((std::istreambuf_iterator<char>(here)), {});
    EXPECT_EQ(std::filesystem::path(text.substr(0, text.find('\n'))),
              std::filesystem::canonical(folder));
    EXPECT_EQ(runHiddenAndWait("sh", {"-c", "exit 0"}, folder), 0);
    std::filesystem::remove_all(folder);
}

TEST(ProgramRun, ProgramsThatDidNotEndByThemselvesFail) {
    const std::string folder = scratchFolder();
    EXPECT_EQ(runHiddenAndWait("sh", {"-c", "kill -9 $$"}, folder), kProgramFailed);
    EXPECT_EQ(runHiddenAndWait("sleep", {"30"}, folder, {}, std::chrono::milliseconds(50)),
              kProgramFailed);
    EXPECT_EQ(runHiddenAndWait("no-such-program-here", {}, folder), kProgramFailed);
    EXPECT_EQ(runHiddenAndWait("sh", {"-c", "exit 0"}, folder + "/missing"), kProgramFailed)
        << "never in another folder than the one asked for";
    std::filesystem::remove_all(folder);
}

} // namespace
} // namespace ostrum::updater
