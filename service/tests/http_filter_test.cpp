#include "platform/debug.h"
#include "platform/netfilter/fake/fake_netfilter.h"
#include "platform/testing/fake_clock.h"
#include "service/http_filter.h"
#include "service/tests/temp_folder.h"
#include "service/tests/trace_capture.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

constexpr const char* kStamp = "2026-01-02 12:00:00 ";
constexpr const char* kAttackFile = "log/attack2026-01-02.log";
constexpr const char* kDetailFile = "log/detail2026-01-02.log";

using testing::TraceCapture;

// The file's lines without their CR LF; a line end that is not CR LF fails.
std::vector<std::string> crlfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end = text.find("\r\n"); end != std::string::npos;
         start = end + 2, end = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, end - start));
        EXPECT_EQ(lines.back().find_first_of("\r\n"), std::string::npos) << lines.back();
    }
    EXPECT_EQ(start, text.size()) << "text after the last line end";
    return lines;
}

TEST(HttpFilterTest, ConstructionAndDestructionAreTraced) {
    TempFolder folder;
    TraceCapture trace;
    { HttpFilter filter; }
    const std::string text = trace.text();
    const size_t built = text.find("httpfilter constuct\n");
    const size_t gone = text.find("httpfilter destoried\n");
    ASSERT_NE(built, std::string::npos) << text;
    ASSERT_NE(gone, std::string::npos) << text;
    EXPECT_LT(built, gone);
}

TEST(HttpFilterTest, DebugPrintWritesOneLineOfAtMost511Characters) {
    TempFolder folder;
    HttpFilter filter;
    filter.debugPrint("before %d", 0);
    TraceCapture trace;
    filter.debugPrint("%s=%d", "count", 5);
    filter.debugPrint("%s", std::string(600, 'x').c_str());
    filter.debugPrint(nullptr);
    filter.debugPrint("%s", "");
    EXPECT_EQ(trace.text(), "count=5\n" + std::string(511, 'x') + "\n\n");
}

TEST(HttpFilterTest, FormatStringIsNotCut) {
    HttpFilter filter;
    EXPECT_EQ(filter.formatString("%s-%d-%04x", "a", 7, 255), "a-7-00ff");
    EXPECT_EQ(filter.formatString("%s", std::string(2000, 'y').c_str()), std::string(2000, 'y'));
    EXPECT_EQ(filter.formatString(nullptr), "");
    EXPECT_EQ(filter.formatString("%s", ""), "");
}

TEST(HttpFilterTest, DateTextsComeFromTheLocalClock) {
    const struct {
        platform::LocalTime time;
        const char* date;
        const char* clockText;
    } cases[] = {
        {{2026, 1, 2, 12, 0, 0, 0, 5}, "2026-01-02", "12:00:00"},
        {{1999, 12, 31, 23, 59, 59, 999, 5}, "1999-12-31", "23:59:59"},
        {{999, 7, 4, 1, 2, 3, 0, 0}, " 999-07-04", "01:02:03"},
    };
    HttpFilter filter;
    platform::FakeClock clock;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        clock.setTime(c.time);
        EXPECT_EQ(filter.todayString(), c.date);
        EXPECT_EQ(filter.logFileDate(), c.date);
        EXPECT_EQ(filter.timeString(), c.clockText);
    }
}

TEST(HttpFilterTest, ReloadConfigAnswersZero) {
    TempFolder folder;
    HttpFilter filter;
    EXPECT_EQ(filter.reloadConfig(), 0);
    EXPECT_EQ(filter.settings().getRunMod(), 2);
    writeFile("ostrum.cfg", "[setting]\r\nrun_mod=1\r\n");
    EXPECT_EQ(filter.reloadConfig(), 0);
    EXPECT_EQ(filter.settings().getRunMod(), 1);
}

TEST(HttpFilterTest, EachLogGoesToItsOwnFile) {
    TempFolder folder;
    platform::FakeClock clock;
    {
        HttpFilter filter;
        filter.writeMainLog("service started");
        filter.writeAttackLog(" 1.2.3.4 5.6.7.8 80 host GET Q AR:1 block /");
        filter.writeDetailLog(
            "clientip=1.2.3.4 serverip=5.6.7.8 serverport=80\r\nGET / HTTP/1.1\r\n");
    }
    EXPECT_EQ(readFile("log/ostrum.log"),
              std::string("#Ostrum log\r\n#Version: 1.0\r\n\r\n") + kStamp + "service started\r\n");
    EXPECT_EQ(readFile(kAttackFile),
              std::string("#Ostrum attack log\r\n#Version: 1.0\r\n#Fields: date time cip dip dport "
                          "host method pos rid action url\r\n\r\n") +
                  kStamp + " 1.2.3.4 5.6.7.8 80 host GET Q AR:1 block /\r\n");
    EXPECT_EQ(readFile(kDetailFile),
              std::string("#Ostrum detial log\r\n#Version: 1.0\r\n#Date: 2026-01-02\r\n\r\n") +
                  kStamp +
                  "clientip=1.2.3.4 serverip=5.6.7.8 serverport=80\r\nGET / HTTP/1.1\r\n\r\n");
}

TEST(HttpFilterTest, DetailLogOffWritesNoDetailFile) {
    TempFolder folder;
    platform::FakeClock clock;
    HttpFilter filter;
    filter.settings().parseline("write_detaillog=0");
    filter.writeDetailLog("clientip=1.2.3.4 serverip=5.6.7.8 serverport=80\r\n");
    filter.writeAttackLog(" record");
    flushAllLogsForTest();
    EXPECT_FALSE(std::filesystem::exists(kDetailFile));
    EXPECT_TRUE(std::filesystem::exists(kAttackFile));
}

TEST(HttpFilterTest, DetailAndAttackLogsSwitchDaysApart) {
    TempFolder folder;
    platform::FakeClock clock;
    HttpFilter filter;
    clock.setDate(2026, 1, 2, 23, 59, 59);
    filter.writeAttackLog(" a");
    filter.writeDetailLog("d");
    clock.setDate(2026, 1, 3, 0, 0, 1);
    filter.writeDetailLog("d");
    EXPECT_EQ(readFile("log/detail2026-01-03.log"),
              "#Ostrum detail log\r\n#Version: 1.0\r\n#Date: 2026-01-03\r\n"
              "2026-01-03 00:00:01 d\r\n");
    EXPECT_FALSE(std::filesystem::exists("log/attack2026-01-03.log"));
    filter.writeAttackLog(" a");
    EXPECT_TRUE(readFile("log/attack2026-01-03.log").starts_with("#Ostrum attack log\r\n"));
}

TEST(HttpFilterTest, SizeLimitComesFromTheSettings) {
    TempFolder folder;
    platform::FakeClock clock;
    HttpFilter filter;
    filter.settings().parseline("max_logfile_size=1");
    writeFile("log/ostrum.log", "");
    std::filesystem::resize_file("log/ostrum.log", uint64_t(2) << 20);
    filter.writeMainLog("fresh");
    EXPECT_EQ(readFile("log/ostrum.log"),
              std::string("#Ostrum log\r\n#Version: 1.0\r\n\r\n") + kStamp + "fresh\r\n");
}

TEST(HttpFilterTest, NoLogFolderLogsNothingAndFailsNothing) {
    TempFolder folder(false);
    platform::FakeClock clock;
    fakenet::reset();
    {
        HttpFilter filter;
        filter.settings().parseline("run_mod=1");
        filter.writeMainLog("m");
        filter.writeAttackLog(" a");
        filter.writeDetailLog("d");
        EXPECT_EQ(filter.recordAttack("1.2.3.4"), 1);
        EXPECT_TRUE(filter.blockConnection(3, "1.2.3.4 in BL_IP,block on tcpConnected!"));
    }
    EXPECT_EQ(fakenet::calls().closed, std::vector<nfapi::ENDPOINT_ID>{3});
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

// The lines after the header, which must stand once at the start.
std::vector<std::string> bodyLines(const std::string& name,
                                   const std::vector<std::string>& header) {
    std::vector<std::string> lines = crlfLines(readFile(name));
    const bool headed =
        lines.size() >= header.size() && std::equal(header.begin(), header.end(), lines.begin());
    EXPECT_TRUE(headed) << name;
    lines.erase(lines.begin(), lines.begin() + std::ptrdiff_t(headed ? header.size() : 0));
    return lines;
}

// The texts of one-line records, each checked for its date and time.
std::vector<std::string> records(const std::string& name, const std::vector<std::string>& header) {
    std::vector<std::string> lines = bodyLines(name, header);
    for (std::string& line : lines) {
        EXPECT_TRUE(line.starts_with(kStamp)) << name << ": " << line;
        line.erase(0, std::string(kStamp).size());
    }
    return lines;
}

TEST(HttpFilterTest, ConcurrentWritersKeepEveryLineWhole) {
    constexpr int kThreads = 8;
    constexpr int kRounds = 150;
    TempFolder folder;
    platform::FakeClock clock;
    HttpFilter filter;
    filter.settings().parseline("run_mod=1");

    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&filter, t] {
            const std::string own = "own" + std::to_string(t);
            for (int i = 0; i < kRounds; ++i) {
                const std::string tag = std::to_string(t) + "." + std::to_string(i);
                filter.writeMainLog("run " + tag);
                filter.writeAttackLog(" attack " + tag);
                filter.writeDetailLog("clientip=" + tag + "\r\nGET /" + tag + " HTTP/1.1\r\n");
                filter.recordAttack("shared");
                filter.recordAttack(own);
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    const std::vector<std::string> run =
        records("log/ostrum.log", {"#Ostrum log", "#Version: 1.0", ""});
    const std::vector<std::string> attack = records(
        kAttackFile, {"#Ostrum attack log", "#Version: 1.0",
                      "#Fields: date time cip dip dport host method pos rid action url", ""});
    // A detail record spans three lines: its first line, the request line, an empty line.
    const std::vector<std::string> detail =
        bodyLines(kDetailFile, {"#Ostrum detial log", "#Version: 1.0", "#Date: 2026-01-02", ""});
    ASSERT_EQ(detail.size(), 3u * kThreads * kRounds);
    const std::string detailStart = kStamp + std::string("clientip=");
    std::vector<std::string> detailTags;
    for (size_t i = 0; i < detail.size(); i += 3) {
        ASSERT_TRUE(detail[i].starts_with(detailStart)) << detail[i];
        const std::string tag = detail[i].substr(detailStart.size());
        EXPECT_EQ(detail[i + 1], "GET /" + tag + " HTTP/1.1");
        EXPECT_EQ(detail[i + 2], "");
        detailTags.push_back(tag);
    }

    std::map<std::string, int> seen;
    std::map<std::string, std::vector<std::string>> blocks; // address -> lengths in log order
    for (const std::string& line : run) {
        const size_t tab = line.find("\tblock_time_len=");
        if (tab == std::string::npos) {
            ++seen[line];
        } else {
            blocks[line.substr(0, tab)].push_back(line.substr(tab + 16));
        }
    }
    for (const std::string& line : attack) {
        ++seen[line];
    }
    for (const std::string& tag : detailTags) {
        ++seen["detail " + tag];
    }
    ASSERT_EQ(seen.size(), 3u * kThreads * kRounds);
    for (int t = 0; t < kThreads; ++t) {
        for (int i = 0; i < kRounds; ++i) {
            const std::string tag = std::to_string(t) + "." + std::to_string(i);
            for (const std::string& text : {"run " + tag, " attack " + tag, "detail " + tag}) {
                EXPECT_EQ(seen[text], 1) << text;
            }
        }
    }

    const std::vector<std::string> doubling = {"60s", "120s", "240s", "480s", "960s", "1920s"};
    std::vector<std::string> ownLengths = doubling;
    ownLengths.resize(kRounds, "3600s");
    for (int t = 0; t < kThreads; ++t) {
        const std::string own = "own" + std::to_string(t);
        EXPECT_EQ(blocks[own], ownLengths) << own;
        const blockinfo info = filter.blockTimer().findForTest(own).value();
        EXPECT_EQ(info.attackcount, uint32_t(kRounds));
        EXPECT_EQ(info.block_time_len, 3600000u);
    }
    std::vector<std::string> shared = blocks["shared"];
    std::vector<std::string> sharedLengths = doubling;
    sharedLengths.resize(size_t(kThreads) * kRounds, "3600s");
    std::sort(shared.begin(), shared.end());
    std::sort(sharedLengths.begin(), sharedLengths.end());
    EXPECT_EQ(shared, sharedLengths);
    EXPECT_EQ(filter.blockTimer().findForTest("shared").value().attackcount,
              uint32_t(kThreads * kRounds));
    EXPECT_EQ(blocks.size(), size_t(kThreads) + 1);
}

} // namespace
} // namespace ostrum
