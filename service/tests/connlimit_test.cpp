#include "service/engine.h"
#include "service/iprange.h"
#include "service/tests/trace_capture.h"

#include <atomic>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

constexpr uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

TEST(IprangeTest, HoldsOnlyTheAddressesOfItsSegments) {
    iprange empty;
    iprange range;
    range.addSegment({ip(10, 0, 0, 5), ip(10, 0, 0, 5)});
    range.addSegment({ip(10, 0, 1, 0), ip(10, 0, 1, 255)});
    EXPECT_EQ(range.minip, ip(10, 0, 0, 5));
    EXPECT_EQ(range.maxip, ip(10, 0, 1, 255));

    struct Case {
        uint32_t address;
        bool inEmpty;
        bool inRange;
    };
    const std::vector<Case> cases = {
        {0, false, false},
        {UINT32_MAX, false, false},
        {ip(10, 0, 0, 4), false, false},
        {ip(10, 0, 0, 5), false, true},
        {ip(10, 0, 0, 6), false, false}, // between the segments
        {ip(10, 0, 1, 0), false, true},
        {ip(10, 0, 1, 255), false, true},
        {ip(10, 0, 2, 0), false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(empty.holds(c.address), c.inEmpty) << std::hex << c.address;
        EXPECT_EQ(range.holds(c.address), c.inRange) << std::hex << c.address;
    }

    iprange whole;
    whole.addSegment({0, UINT32_MAX});
    EXPECT_TRUE(whole.holds(0));
    EXPECT_TRUE(whole.holds(UINT32_MAX));
}

TEST(ConnLimitTest, FullRangeRefusesUntilOneCloses) {
    engine e;
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  2  10.0.0.1-10.0.0.9  "office")"));
    const uint32_t a = ip(10, 0, 0, 1);
    const uint32_t b = ip(10, 0, 0, 9);
    EXPECT_EQ(e.addipconn(a), 0u);
    EXPECT_EQ(e.addipconn(b), 0u); // clients of one range share its places
    EXPECT_EQ(e.addipconn(a), 2u);
    EXPECT_EQ(e.ipRanges()[0].connednum, 2u);
    EXPECT_EQ(e.decipconn(b), 1u);
    EXPECT_EQ(e.addipconn(b), 0u);
    EXPECT_EQ(e.decipconn(a), 1u);
    EXPECT_EQ(e.decipconn(a), 0u);
    EXPECT_EQ(e.decipconn(a), 0u);
    EXPECT_EQ(e.ipRanges()[0].connednum, 0u);
    EXPECT_EQ(e.addipconn(a), 0u);
    EXPECT_EQ(e.ipRanges()[0].connednum, 1u);

    const uint32_t outside = ip(10, 0, 0, 10);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(e.addipconn(outside), 0u);
    }
    EXPECT_EQ(e.decipconn(outside), 0u);
    EXPECT_EQ(e.ipRanges()[0].connednum, 1u);
}

TEST(ConnLimitTest, FirstRangeInFileOrderCounts) {
    engine e;
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  3  nonsense  "nosegment")"));
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  1  10.0.0.1-10.0.0.9  "first")"));
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  5  10.0.0.5-10.0.0.20  "second")"));
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  1  10.0.1.7-10.0.1.7  "single")"));
    ASSERT_EQ(e.ipRanges().size(), 4u);
    ASSERT_TRUE(e.ipRanges()[0].segments.empty());

    EXPECT_EQ(e.addipconn(ip(10, 0, 0, 5)), 0u);
    EXPECT_EQ(e.addipconn(ip(10, 0, 0, 6)), 1u); // the first is full; the second never sees it
    EXPECT_EQ(e.addipconn(ip(10, 0, 0, 15)), 0u);
    EXPECT_EQ(e.addipconn(ip(10, 0, 1, 6)), 0u);
    EXPECT_EQ(e.addipconn(ip(10, 0, 1, 8)), 0u);
    EXPECT_EQ(e.addipconn(ip(10, 0, 1, 7)), 0u);
    EXPECT_EQ(e.addipconn(ip(10, 0, 1, 7)), 1u);

    const std::vector<uint32_t> counts = {0, 1, 1, 1};
    for (size_t i = 0; i < counts.size(); ++i) {
        EXPECT_EQ(e.ipRanges()[i].connednum, counts[i]) << e.ipRanges()[i].name;
    }
    EXPECT_EQ(e.decipconn(ip(10, 0, 0, 9)), 0u);
    EXPECT_EQ(e.ipRanges()[1].connednum, 0u);
    EXPECT_EQ(e.ipRanges()[2].connednum, 1u);
}

TEST(ConnLimitTest, TracesTheRangeAndItsCount) {
    engine e;
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  2  10.0.0.1-10.0.0.9  "office")"));
    testing::TraceCapture trace;
    EXPECT_EQ(e.addipconn(ip(10, 0, 0, 2)), 0u);
    EXPECT_EQ(e.decipconn(ip(10, 0, 0, 2)), 0u);
    const std::string text = trace.text();
    EXPECT_NE(text.find("addipconn:: find ip in \"office\",connednum=0!\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("decipconn:: find ip in \"office\",connednum=1!\n"), std::string::npos)
        << text;
}

constexpr int kThreads = 8;

template <typename Body> void runThreads(Body body) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back(body, t);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
}

TEST(ConnLimitTest, CountsStayExactUnderConcurrentEvents) {
    constexpr uint32_t kMax = 5;
    engine e;
    ASSERT_TRUE(e.addiprangestr(R"(CONNLIMIT  5  10.0.0.0-10.0.0.255  "lan")"));

    // Open and close in a loop: the connections held never exceed the limit.
    std::atomic<uint32_t> held{0};
    std::atomic<uint32_t> overLimit{0};
    runThreads([&](int t) {
        const uint32_t address = ip(10, 0, 0, uint32_t(t));
        for (int i = 0; i < 50000; ++i) {
            if (e.addipconn(address) != 0) {
                continue;
            }
            if (held.fetch_add(1) + 1 > kMax) {
                overLimit.fetch_add(1);
            }
            held.fetch_sub(1);
            e.decipconn(address);
        }
    });
    EXPECT_EQ(overLimit.load(), 0u);
    EXPECT_EQ(e.ipRanges()[0].connednum, 0u);

    // Open only: exactly the limit is admitted, every other call is refused.
    std::atomic<uint32_t> admitted{0};
    std::atomic<uint32_t> refused{0};
    runThreads([&](int t) {
        for (int i = 0; i < 100; ++i) {
            const uint32_t result = e.addipconn(ip(10, 0, 0, uint32_t(t)));
            (result == 0 ? admitted : refused).fetch_add(1);
            EXPECT_TRUE(result == 0 || result == kMax) << result;
        }
    });
    EXPECT_EQ(admitted.load(), kMax);
    EXPECT_EQ(refused.load(), kThreads * 100 - kMax);

    // Close more than were opened: each count from kMax - 1 down to 0 is
    // returned once by a lowering, the rest return 0 and leave it at 0.
    std::atomic<uint32_t> seen[kMax] = {};
    std::atomic<uint32_t> zeros{0};
    runThreads([&](int t) {
        for (int i = 0; i < 3; ++i) {
            const uint32_t result = e.decipconn(ip(10, 0, 0, uint32_t(t)));
            ASSERT_LT(result, kMax);
            (result == 0 ? zeros : seen[result]).fetch_add(1);
        }
    });
    for (uint32_t count = 1; count < kMax; ++count) {
        EXPECT_EQ(seen[count].load(), 1u) << count;
    }
    EXPECT_EQ(zeros.load(), uint32_t(kThreads * 3) - (kMax - 1));
    EXPECT_EQ(e.ipRanges()[0].connednum, 0u);
}

} // namespace
} // namespace ostrum
