#include "platform/testing/fake_clock.h"
#include "service/file_probe.h"
#include "service/log_writer.h"
#include "service/tests/temp_folder.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;
using Kind = LogWriter::Kind;

constexpr const char* kStamp = "2026-01-02 12:00:00 ";
constexpr const char* kFields =
    "#Fields: date time cip dip dport host method pos rid action url\r\n";

struct KindCase {
    Kind kind;
    const char* name;      // the file on the fake clock's day
    const char* newHeader; // header of a new file
};

const KindCase kKinds[] = {
    {Kind::Run, "log/ostrum.log", "#Ostrum log\r\n#Version: 1.0\r\n\r\n"},
    {Kind::Attack, "log/attack2026-01-02.log",
     "#Ostrum attack log\r\n#Version: 1.0\r\n#Fields: date time cip dip dport host method pos rid "
     "action url\r\n\r\n"},
    {Kind::Detail, "log/detail2026-01-02.log",
     "#Ostrum detial log\r\n#Version: 1.0\r\n#Date: 2026-01-02\r\n\r\n"},
};

TEST(FileProbeTest, ExistenceAndWholeMebibytes) {
    constexpr uint64_t kMiB = uint64_t(1) << 20;
    const struct {
        const char* name;
        int64_t size; // -1: no such file; -2: a folder
        bool exists;
        uint64_t megabytes;
    } cases[] = {
        {"missing", -1, false, 0},    {"log", -2, false, 0},  {"empty", 0, true, 0},
        {"under", kMiB - 1, true, 0}, {"one", kMiB, true, 1}, {"big", 5000 * kMiB + 7, true, 5000},
        {"log/../empty", 0, true, 0}, {"", -1, false, 0},
    };
    TempFolder folder;
    for (const auto& c : cases) {
        if (c.size >= 0) {
            writeFile(c.name, "");
            std::filesystem::resize_file(c.name, uint64_t(c.size));
        }
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fileExists(c.name), c.exists);
        EXPECT_EQ(fileSizeMB(c.name), c.megabytes);
    }
}

TEST(LogWriterTest, NewFileStartsWithItsHeader) {
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        platform::FakeClock clock;
        LogWriter writer(c.kind);
        EXPECT_EQ(writer.currentFileName(), c.name);
        writer.write(" first", 100);
        writer.write("second", 100);
        EXPECT_EQ(readFile(c.name),
                  std::string(c.newHeader) + kStamp + " first\r\n" + kStamp + "second\r\n");
    }
}

TEST(LogWriterTest, ExistingFileIsAppendedWithoutHeader) {
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        platform::FakeClock clock;
        writeFile(c.name, "earlier\r\n");
        LogWriter writer(c.kind);
        writer.write("next", 100);
        EXPECT_EQ(readFile(c.name), std::string("earlier\r\n") + kStamp + "next\r\n");
    }
}

TEST(LogWriterTest, CloseThenWriteAppendsToTheSameFile) {
    TempFolder folder;
    platform::FakeClock clock;
    LogWriter writer(Kind::Run);
    writer.write("one", 100);
    writer.close();
    writer.close();
    writer.write("two", 100);
    EXPECT_EQ(readFile("log/ostrum.log"),
              std::string(kKinds[0].newHeader) + kStamp + "one\r\n" + kStamp + "two\r\n");
}

TEST(LogWriterTest, DailyLogSwitchesAtTheFirstWriteOfANewDay) {
    const struct {
        Kind kind;
        const char* stem;
        std::string changeHeader;
    } cases[] = {
        {Kind::Attack, "log/attack",
         std::string("#Ostrum attack log\r\n#Version: 1.0\r\n#Date: 2026-01-03\r\n") + kFields},
        {Kind::Detail, "log/detail",
         "#Ostrum detail log\r\n#Version: 1.0\r\n#Date: 2026-01-03\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stem);
        TempFolder folder;
        platform::FakeClock clock;
        LogWriter writer(c.kind);
        EXPECT_EQ(writer.openDate(), "");
        clock.setDate(2026, 1, 2, 23, 59, 59);
        writer.write("late", 100);
        EXPECT_EQ(writer.openDate(), "2026-01-02");
        clock.setDate(2026, 1, 3, 0, 0, 1);
        writer.write("early", 100);
        EXPECT_EQ(writer.openDate(), "2026-01-03");

        const std::string first = readFile(std::string(c.stem) + "2026-01-02.log");
        EXPECT_TRUE(first.ends_with("\r\n2026-01-02 23:59:59 late\r\n")) << first;
        EXPECT_EQ(readFile(std::string(c.stem) + "2026-01-03.log"),
                  c.changeHeader + "2026-01-03 00:00:01 early\r\n");
    }
}

TEST(LogWriterTest, RunLogKeepsOneFileAcrossDays) {
    TempFolder folder;
    platform::FakeClock clock;
    LogWriter writer(Kind::Run);
    writer.write("one", 100);
    clock.setDate(2026, 1, 3);
    writer.write("two", 100);
    EXPECT_EQ(readFile("log/ostrum.log"),
              std::string(kKinds[0].newHeader) + kStamp + "one\r\n2026-01-03 12:00:00 two\r\n");
}

// An open file grows by the writer's own lines (a running count); a closed
// one is measured when it is opened.
TEST(LogWriterTest, FileOverTheSizeLimitIsReplaced) {
    constexpr uint64_t kMiB = uint64_t(1) << 20;
    for (const KindCase& c : kKinds) {
        for (const bool streamOpen : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (streamOpen ? " open" : " closed"));
            TempFolder folder;
            platform::FakeClock clock;
            LogWriter writer(c.kind);
            writeFile(c.name, "");
            if (streamOpen) {
                writer.write(std::string(kMiB, 'x'), 0);
            } else {
                std::filesystem::resize_file(c.name, kMiB);
            }
            writer.write("fresh", 0);
            EXPECT_EQ(readFile(c.name), std::string(c.newHeader) + kStamp + "fresh\r\n");
        }
    }
}

std::string textFrom(const std::string& name, uint64_t offset) {
    std::ifstream in(name, std::ios::binary);
    in.seekg(std::streamoff(offset));
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(LogWriterTest, FileAtTheSizeLimitIsKept) {
    constexpr uint64_t kSize = (uint64_t(1009) << 20) / 10; // 100.9 MiB
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        platform::FakeClock clock;
        writeFile(c.name, "");
        std::filesystem::resize_file(c.name, kSize);
        LogWriter writer(c.kind);
        writer.write("kept", 100);
        writer.flush();
        const std::string line = std::string(kStamp) + "kept\r\n";
        EXPECT_EQ(std::filesystem::file_size(c.name), kSize + line.size());
        EXPECT_EQ(textFrom(c.name, kSize), line);
    }
}

TEST(LogWriterTest, MissingLogFolderDropsLinesUntilItExists) {
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        TempFolder folder(false);
        platform::FakeClock clock;
        LogWriter writer(c.kind);
        writer.write("lost", 100);
        writer.flush();
        EXPECT_FALSE(std::filesystem::exists("log"));
        std::filesystem::create_directory("log");
        writer.write("found", 100);
        EXPECT_EQ(readFile(c.name), std::string(c.newHeader) + kStamp + "found\r\n");
    }
}

TEST(LogWriterTest, EveryLineOfARecordEndsInCrLf) {
    const struct {
        std::string text;
        std::string written;
    } cases[] = {
        {"a\nb", "a\r\nb\r\n"},
        {"a\r\nb", "a\r\nb\r\n"},
        {"\n", "\r\n\r\n"},
        {"a\r\n", "a\r\n\r\n"},
        {"\r\r\n\n", "\r\r\n\r\n\r\n"},
        {"", "\r\n"},
        {std::string("nul\0byte", 8), std::string("nul\0byte\r\n", 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.text));
        TempFolder folder;
        platform::FakeClock clock;
        writeFile("log/ostrum.log", "");
        LogWriter writer(Kind::Run);
        writer.write(c.text, 100);
        EXPECT_EQ(readFile("log/ostrum.log"), kStamp + c.written);
    }
}

// Turns to the next day after a set number of readings, from any thread.
class SwitchingClock final : public platform::Clock {
public:
    explicit SwitchingClock(int readingsOnFirstDay) : m_left(readingsOnFirstDay) {
        platform::setClockForTest(this);
    }
    ~SwitchingClock() override { platform::setClockForTest(nullptr); }

    uint32_t tickCount() override { return 1000; }
    platform::LocalTime localTime() override {
        platform::LocalTime t{2026, 1, 2, 23, 59, 59, 0, 5};
        if (m_left.fetch_sub(1) <= 0) {
            t = {2026, 1, 3, 0, 0, 1, 0, 6};
        }
        return t;
    }

private:
    std::atomic<int> m_left;
};

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST(LogWriterTest, ConcurrentWritersSwitchTheDayOnce) {
    constexpr int kThreads = 8;
    constexpr int kLines = 300;
    TempFolder folder;
    SwitchingClock clock(kThreads * kLines / 2);
    LogWriter writer(Kind::Attack);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&writer, t] {
            for (int i = 0; i < kLines; ++i) {
                writer.write(" t" + std::to_string(t) + " n" + std::to_string(i), 100);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    const struct {
        const char* name;
        const char* stamp;
        size_t headerLines;
    } days[] = {
        {"log/attack2026-01-02.log", "2026-01-02 23:59:59  t", 4},
        {"log/attack2026-01-03.log", "2026-01-03 00:00:01  t", 4},
    };
    for (const auto& day : days) {
        SCOPED_TRACE(day.name);
        const std::vector<std::string> lines = linesOf(readFile(day.name));
        ASSERT_GE(lines.size(), day.headerLines);
        for (size_t i = day.headerLines; i < lines.size(); ++i) {
            EXPECT_TRUE(lines[i].starts_with(day.stamp) && lines[i].ends_with("\r")) << lines[i];
        }
        EXPECT_EQ(lines.size() - day.headerLines, size_t(kThreads * kLines / 2));
    }
}

// A written line's room is used again for a later line, which must carry
// nothing of the longer line before it.
TEST(LogWriterTest, LineMadeInTheRoomOfAWrittenOneHoldsOnlyItsOwnText) {
    TempFolder folder;
    platform::FakeClock clock;
    LogWriter writer(Kind::Run);
    const std::string longLine(3000, 'l');
    writer.write(longLine, 100);
    writer.write("a", 100);
    writer.write("b\nc", 100);
    writer.write("", 100);
    EXPECT_EQ(readFile("log/ostrum.log"), std::string("#Ostrum log\r\n#Version: 1.0\r\n\r\n") +
                                             kStamp + longLine + "\r\n" + kStamp + "a\r\n" +
                                             kStamp + "b\r\nc\r\n" + kStamp + "\r\n");
}

// Lines of many threads: each whole, each thread's in the order it made
// them, and none lost when the writer stops with lines still queued.
TEST(LogWriterTest, ManyThreadsKeepOrderAndWholenessThroughAStop) {
    constexpr int kThreads = 8;
    constexpr int kLines = 2000;
    TempFolder folder;
    platform::FakeClock clock;
    {
        LogWriter writer(Kind::Detail);
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&writer, t] {
                for (int i = 0; i < kLines; ++i) {
                    // A record of two lines, as a detail record is.
                    writer.write("t" + std::to_string(t) + " n" + std::to_string(i) + "\nGET /" +
                                     std::string(size_t(i % 300), 'x'),
                                 100);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
    }
    const std::vector<std::string> lines = linesOf(readFile("log/detail2026-01-02.log"));
    constexpr size_t kHeaderLines = 4;
    ASSERT_EQ(lines.size(), kHeaderLines + 2 * kThreads * kLines);
    std::vector<int> next(kThreads, 0);
    for (size_t i = kHeaderLines; i < lines.size(); i += 2) {
        int t = -1;
        int n = -1;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "2026-01-02 12:00:00 t%d n%d\r", &t, &n), 2)
            << lines[i];
        ASSERT_TRUE(t >= 0 && t < kThreads) << lines[i];
        EXPECT_EQ(n, next[size_t(t)]++) << lines[i];
        EXPECT_EQ(lines[i + 1], "GET /" + std::string(size_t(n % 300), 'x') + "\r");
    }
}

// The disk is full (a file that refuses every byte), then has room again.
TEST(LogWriterTest, FailedWriteLosesItsLinesOnlyAndIsToldOnceTheLogWorks) {
    for (const KindCase& c : kKinds) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        platform::FakeClock clock;
        std::vector<std::string> reports;
        LogWriter writer(c.kind);
        writer.setReporter([&reports](std::string message) { reports.push_back(message); });
        std::filesystem::create_symlink("/dev/full", c.name);
        writer.write("lost", 100);
        writer.flush();
        EXPECT_TRUE(reports.empty());
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(c.name)));

        writer.write("kept", 100);
        const std::string report = std::string(c.name) + ": lines lost: 1 (No space left on device)";
        std::string expected = std::string(c.newHeader) + kStamp + "kept\r\n";
        if (c.kind == Kind::Run) {
            expected += kStamp + report + "\r\n";
        }
        EXPECT_EQ(readFile(c.name), expected);
        EXPECT_EQ(reports, (c.kind == Kind::Run ? std::vector<std::string>{}
                                                : std::vector<std::string>{report}));
    }
}

TEST(LogWriterTest, DailyFileIsNamedByTheDateSourceAndItsDateIsKeptWhereTold) {
    TempFolder folder;
    platform::FakeClock clock;
    std::string openDate;
    LogWriter writer(Kind::Attack, [] { return std::string("2030-05-06"); }, &openDate);
    EXPECT_EQ(writer.currentFileName(), "log/attack2030-05-06.log");
    writer.write(" one", 100);
    EXPECT_EQ(openDate, "2030-05-06");
    EXPECT_TRUE(readFile("log/attack2030-05-06.log").ends_with(std::string(kStamp) + " one\r\n"));
}

} // namespace
} // namespace ostrum
