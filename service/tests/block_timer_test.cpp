#include "platform/netfilter/fake/fake_netfilter.h"
#include "platform/testing/fake_clock.h"
#include "service/http_filter.h"
#include "service/tests/temp_folder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <initializer_list>
#include <limits>
#include <string>
#include <vector>

namespace ostrum {
namespace {

constexpr uint32_t kMaxMs = std::numeric_limits<uint32_t>::max();

class BlockTimerTest : public ::testing::Test {
protected:
    void SetUp() override {
        fakenet::reset();
        apply({"run_mod=1"});
    }

    void apply(std::initializer_list<const char*> lines) {
        for (const char* line : lines) {
            filter.settings().parseline(line);
        }
    }

    blockinfo record(const std::string& ip) {
        const std::optional<blockinfo> info = filter.blockTimer().findForTest(ip);
        EXPECT_TRUE(info.has_value()) << ip;
        return info.value_or(blockinfo{});
    }

    // The run log's lines without header, date and time.
    std::vector<std::string> runLog() {
        const std::string text = testing::readFile("log/ostrum.log");
        std::vector<std::string> lines;
        size_t start = 0;
        for (size_t end = text.find("\r\n"); end != std::string::npos;
             start = end + 2, end = text.find("\r\n", start)) {
            const std::string line = text.substr(start, end - start);
            if (!line.empty() && line[0] != '#') {
                lines.push_back(line.substr(20));
            }
        }
        return lines;
    }

    testing::TempFolder folder;
    platform::FakeClock clock;
    HttpFilter filter;
};

TEST_F(BlockTimerTest, DefaultBlocksDoubleUpToTheLongest) {
    const uint32_t seconds[] = {60, 120, 240, 480, 960, 1920, 3600, 3600, 3600};
    std::vector<std::string> expectedLog;
    for (const uint32_t s : seconds) {
        SCOPED_TRACE(s);
        EXPECT_EQ(filter.recordAttack("10.0.0.1"), 1);
        EXPECT_EQ(record("10.0.0.1").block_time_len, s * 1000);
        EXPECT_TRUE(filter.isIpBlocked("10.0.0.1"));
        expectedLog.push_back("10.0.0.1\tblock_time_len=" + std::to_string(s) + "s");
        clock.advance(1000);
    }
    EXPECT_EQ(runLog(), expectedLog);
}

TEST_F(BlockTimerTest, FirstBlockWaitsForBlockWhenN) {
    const struct {
        const char* setting;
        std::vector<int32_t> results;
    } cases[] = {
        {"block_when_n=1", {1, 1}},
        {"block_when_n=2", {0, 1, 1}},
        {"block_when_n=3", {0, 0, 1, 1}},
        {"block_when_n=0", {1}}, // 0 reads as the default 1
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        apply({c.setting});
        const std::string ip = c.setting;
        for (const int32_t expected : c.results) {
            EXPECT_EQ(filter.recordAttack(ip), expected);
        }
        EXPECT_EQ(record(ip).attackcount, c.results.size());
    }
}

TEST_F(BlockTimerTest, RunOutBlockRestartsAtTheFirstLength) {
    ASSERT_EQ(filter.recordAttack("a"), 1);
    ASSERT_EQ(filter.recordAttack("a"), 1);
    EXPECT_EQ(record("a").block_time_len, 120000u);
    clock.advance(120000);
    EXPECT_FALSE(filter.isIpBlocked("a"));
    const blockinfo cleared = record("a");
    EXPECT_EQ(cleared.attackcount, 0u);
    EXPECT_EQ(cleared.block_time_len, 0u);
    EXPECT_EQ(cleared.starttick, 0u);
    EXPECT_EQ(cleared.active, 1u);

    EXPECT_EQ(filter.recordAttack("a"), 1);
    EXPECT_EQ(record("a").block_time_len, 60000u);
}

TEST_F(BlockTimerTest, RepeatedBlocksWaitForBlockAgainWhenM) {
    apply({"block_agin_when_m=3"});
    ASSERT_EQ(filter.recordAttack("a"), 1);
    EXPECT_EQ(filter.recordAttack("a"), 0); // count 2 while blocked
    EXPECT_EQ(filter.recordAttack("a"), 1); // count 3: doubled
    EXPECT_EQ(record("a").block_time_len, 120000u);

    clock.advance(120000);
    EXPECT_FALSE(filter.isIpBlocked("a"));
    EXPECT_EQ(filter.recordAttack("a"), 0);
    EXPECT_EQ(filter.recordAttack("a"), 0);
    EXPECT_EQ(filter.recordAttack("a"), 1);
    EXPECT_EQ(record("a").block_time_len, 60000u);
}

TEST_F(BlockTimerTest, BlockingOffTouchesNothing) {
    const std::vector<std::vector<const char*>> cases = {
        {"run_mod=2"},
        {"run_mod=3"},
        {"run_mod=-1"},
        {"action_block=0"},
        {"run_mod=0", "action_block=0"},
        {"run_mod=1", "action_block=0"},
    };
    for (const auto& lines : cases) {
        SCOPED_TRACE(lines.front());
        testing::TempFolder own;
        HttpFilter off;
        for (const char* line : lines) {
            off.settings().parseline(line);
        }
        fakenet::reset();
        EXPECT_FALSE(off.blockingOn());
        EXPECT_EQ(off.recordAttack("a"), 0);
        EXPECT_FALSE(off.blockTimer().findForTest("a").has_value());
        EXPECT_FALSE(off.isIpBlocked("a"));
        EXPECT_FALSE(off.blockConnection(7, "a in BL_IP,block on tcpConnected!"));
        EXPECT_TRUE(fakenet::calls().closed.empty());
        flushAllLogsForTest();
        EXPECT_FALSE(std::filesystem::exists("log/ostrum.log"));
    }
}

TEST_F(BlockTimerTest, BlockingOnInEveryClosingMode) {
    for (const char* mode : {"run_mod=0", "run_mod=1", "run_mod=4", "run_mod=99"}) {
        SCOPED_TRACE(mode);
        apply({mode});
        EXPECT_TRUE(filter.blockingOn());
    }
}

TEST_F(BlockTimerTest, BlockEndsAfterItsWholeLength) {
    ASSERT_EQ(filter.recordAttack("a"), 1);
    clock.advance(59999);
    EXPECT_TRUE(filter.isIpBlocked("a"));
    clock.advance(1);
    EXPECT_FALSE(filter.isIpBlocked("a"));
    EXPECT_EQ(record("a").block_time_len, 0u);
    EXPECT_FALSE(filter.isIpBlocked("a"));
}

TEST_F(BlockTimerTest, TickCounterWrapAround) {
    for (const uint32_t start : {kMaxMs - 9999, kMaxMs, 0u}) {
        SCOPED_TRACE(start);
        const std::string ip = std::to_string(start);
        clock.setTick(start);
        ASSERT_EQ(filter.recordAttack(ip), 1);
        clock.advance(30000);
        EXPECT_TRUE(filter.isIpBlocked(ip));
        clock.advance(29998);
        EXPECT_TRUE(filter.isIpBlocked(ip));
        clock.advance(2002);
        EXPECT_FALSE(filter.isIpBlocked(ip));
    }
}

TEST_F(BlockTimerTest, LengthsBeyondThirtyTwoBitsAreClamped) {
    const struct {
        std::vector<const char*> settings;
        std::vector<uint32_t> lengths; // ms, one per hit
        std::vector<std::string> log;
    } cases[] = {
        {{"block_time_length=4294967", "block_max_time_len=4294967"},
         {4294967000u, 4294967000u},
         {"a\tblock_time_len=4294967s", "a\tblock_time_len=4294967s"}},
        {{"block_time_length=4294968", "block_max_time_len=4294968"},
         {kMaxMs, kMaxMs},
         {"a\tblock_time_len=4294967s", "a\tblock_time_len=4294967s"}},
        {{"block_time_length=4000000000", "block_max_time_len=4294967295"},
         {kMaxMs, kMaxMs},
         {"a\tblock_time_len=4294967s", "a\tblock_time_len=4294967s"}},
        {{"block_time_length=3000000", "block_max_time_len=4294967"},
         {3000000000u, 4294967000u},
         {"a\tblock_time_len=3000000s", "a\tblock_time_len=4294967s"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.settings.front());
        testing::TempFolder own;
        HttpFilter big;
        big.settings().parseline("run_mod=1");
        for (const char* line : c.settings) {
            big.settings().parseline(line);
        }
        for (const uint32_t length : c.lengths) {
            EXPECT_EQ(big.recordAttack("a"), 1);
            EXPECT_EQ(big.blockTimer().findForTest("a")->block_time_len, length);
            EXPECT_TRUE(big.isIpBlocked("a"));
        }
        EXPECT_EQ(runLog(), c.log);
    }
}

TEST_F(BlockTimerTest, WithoutConnectionChecksABlockNeverRunsOut) {
    apply({"block_when_conn=0"});
    ASSERT_EQ(filter.recordAttack("a"), 1);
    EXPECT_FALSE(filter.isIpBlocked("a"));
    clock.advance(600000);
    EXPECT_FALSE(filter.isIpBlocked("a"));
    EXPECT_EQ(filter.recordAttack("a"), 1);
    EXPECT_EQ(record("a").block_time_len, 120000u);
}

TEST_F(BlockTimerTest, AddressesAreCountedApart) {
    apply({"block_when_n=2"});
    EXPECT_EQ(filter.recordAttack("a"), 0);
    EXPECT_EQ(filter.recordAttack("null"), 0);
    EXPECT_EQ(filter.recordAttack("a"), 1);
    EXPECT_TRUE(filter.isIpBlocked("a"));
    EXPECT_FALSE(filter.isIpBlocked("null"));
    EXPECT_FALSE(filter.isIpBlocked("b"));
    EXPECT_FALSE(filter.blockTimer().findForTest("b").has_value());
    EXPECT_EQ(record("null").ip, "null");
    EXPECT_EQ(runLog(), std::vector<std::string>{"a\tblock_time_len=60s"});
}

TEST_F(BlockTimerTest, BlockConnectionLogsAndCloses) {
    const std::string message = "1.2.3.4 in BL_IP,block on tcpConnected!";
    EXPECT_TRUE(filter.blockConnection(42, message));
    EXPECT_EQ(fakenet::calls().closed, std::vector<nfapi::ENDPOINT_ID>{42});
    EXPECT_EQ(runLog(), std::vector<std::string>{message});
}

} // namespace
} // namespace ostrum
