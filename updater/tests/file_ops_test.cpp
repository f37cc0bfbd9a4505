#include "platform/clock.h"
#include "updater/file_ops.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace ostrum::updater {
namespace {

namespace fs = std::filesystem;

class FixedClock final : public platform::Clock {
public:
    explicit FixedClock(platform::LocalTime now) : m_now(now) {}
    uint32_t tickCount() override { return 0; }
    platform::LocalTime localTime() override { return m_now; }

private:
    platform::LocalTime m_now;
};

TEST(Dates, YesterdayAcrossMonthsAndYears) {
    struct Case {
        int year, month, day;
        const char* today;
        const char* yesterday;
    };
    const Case cases[] = {
        {2026, 12, 9, "2026-12-09", "2026-12-08"},
        {2024, 3, 1, "2024-03-01", "2024-02-29"},
        {2026, 3, 1, "2026-03-01", "2026-02-28"},
        {2027, 1, 1, "2027-01-01", "2026-12-31"},
    };
    for (const Case& c : cases) {
        platform::LocalTime now;
        now.year = c.year;
        now.month = c.month;
        now.day = c.day;
        FixedClock clock(now);
        platform::setClockForTest(&clock);
        EXPECT_EQ(todayString(), c.today);
        EXPECT_EQ(yesterdayString(), c.yesterday) << c.today;
        platform::setClockForTest(nullptr);
    }
}

TEST(Files, DeleteFilesKeepsFoldersAndCopyReplaces) {
    const fs::path folder = fs::temp_directory_path() / ("file_ops_" + std::to_string(getpid()));
    fs::create_directories(folder / "sub");
    const std::string dir = folder.string();
    EXPECT_FALSE(hasFiles(dir)) << "a subfolder alone is no file";
    std::ofstream(folder / "a.7z") << "old";
    std::ofstream(folder / "b") << "new";
    EXPECT_TRUE(hasFiles(dir));
    EXPECT_EQ(fileDateString(dir + "/a.7z"), todayString());
    EXPECT_EQ(fileDateString(dir + "/none"), "");

    copyFileOver(dir + "/b", dir + "/a.7z");
    std::ifstream copied(folder / "a.7z");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "new");
    copyFileOver(dir + "/none", dir + "/c"); // a missing source is ignored
    EXPECT_FALSE(fileExists(dir + "/c"));

    deleteFiles(dir);
    EXPECT_FALSE(hasFiles(dir));
    EXPECT_TRUE(folderExists(dir + "/sub"));
    deleteFiles(dir + "/none"); // a missing folder is ignored
    fs::remove_all(folder);
}

} // namespace
} // namespace ostrum::updater
