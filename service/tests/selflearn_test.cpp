#include "platform/testing/fake_clock.h"
#include "service/engine.h"
#include "service/tests/temp_folder.h"
#include "service/tests/trace_capture.h"

#include <atomic>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

using testing::readFile;
using testing::TempFolder;

constexpr const char* kResultFile = "log/self_learn2026-03-04.log";

class SelfLearnTest : public ::testing::Test {
protected:
    SelfLearnTest() { clock.setDate(2026, 3, 4); }

    int32_t learn(const std::string& param, std::string_view value, uint32_t maxcount = 10) {
        return e.selflearn("site", "80", "/a.asp", param, 'G', value, maxcount);
    }

    learnstat statOf(const std::string& param) {
        return e.learnSnapshot().at("site::80::/a.asp::G::" + param);
    }

    TempFolder folder;
    platform::FakeClock clock;
    engine e;
};

TEST_F(SelfLearnTest, EachSampleCountsItsTypeAndLength) {
    struct Case {
        std::string value;
        uint32_t len;
        int bucket; // -1: overlen
        int type;   // -1: unknown
    };
    const std::vector<Case> cases = {
        {"12345", 5, 0, 0},
        {"123456", 6, 1, 0},
        {"abcdefg", 7, 1, 11},
        {std::string(100, 'x'), 100, 19, 11},
        {std::string(101, 'x'), 101, -1, 11},
        {"", 0, -1, -1},
        {"\x01", 1, 0, -1},
        {"%41B", 2, 0, 1},
        {"a+b", 3, 0, 12},
        {"ON", 2, 0, 3},
        {"%0a", 1, 0, 14},
        {"%", 1, 0, 12},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::string param = "p" + std::to_string(i);
        ASSERT_EQ(learn(param, c.value), 1) << c.value;
        const learnstat stat = statOf(param);
        for (int t = 0; t < kBuiltinTypeCount; ++t) {
            EXPECT_EQ(stat.typecount[t], t == c.type ? 1u : 0u)
                << '"' << c.value << "\" type " << t;
        }
        EXPECT_EQ(stat.unknowncount, c.type == -1 ? 1u : 0u) << '"' << c.value << '"';
        for (int b = 0; b < kLengthBuckets; ++b) {
            EXPECT_EQ(stat.lenhist[b], b == c.bucket ? 1u : 0u)
                << '"' << c.value << "\" bucket " << b;
        }
        EXPECT_EQ(stat.overlen, c.bucket == -1 ? 1u : 0u) << '"' << c.value << '"';
        EXPECT_EQ(stat.maxlen, c.len) << '"' << c.value << '"';
        EXPECT_EQ(stat.minlen, c.len) << '"' << c.value << '"';
    }
    EXPECT_EQ(e.learnCount(), cases.size());
}

TEST_F(SelfLearnTest, LongestAndShortestValues) {
    struct Case {
        std::vector<std::string> values;
        uint32_t maxlen;
        uint32_t minlen;
    };
    const std::vector<Case> cases = {
        {{"12", "12345"}, 5, 2},
        {{"12345", "12"}, 5, 2},
        {{"12345", "1", "123"}, 5, 1},
        {{"123", "", "12345678"}, 8, 0},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const std::string param = "p" + std::to_string(i);
        for (const std::string& value : cases[i].values) {
            ASSERT_EQ(learn(param, value), 1);
        }
        const learnstat stat = statOf(param);
        EXPECT_EQ(stat.maxlen, cases[i].maxlen) << "case " << i;
        EXPECT_EQ(stat.minlen, cases[i].minlen) << "case " << i;
    }
    EXPECT_EQ(statOf("p0").typecount[0], 2u);
    EXPECT_EQ(statOf("p0").lenhist[0], 2u);
}

TEST_F(SelfLearnTest, KeyLowerCasesAllButPortAndLetter) {
    ASSERT_EQ(e.selflearn("WWW.Site", "8080", "/A.ASP", " Id", 'P', "1", 10), 1);
    ASSERT_EQ(e.selflearn("www.site", "8080", "/a.asp", " id", 'p', "1", 10), 1);
    const auto snapshot = e.learnSnapshot();
    ASSERT_EQ(snapshot.size(), 2u);
    EXPECT_EQ(snapshot.begin()->first, "www.site::8080::/a.asp::P:: id");
    EXPECT_EQ(snapshot.rbegin()->first, "www.site::8080::/a.asp::p:: id");
}

TEST_F(SelfLearnTest, LearningEndsOnceAfterMaxcountTimes10000Samples) {
    for (int i = 0; i < 10001; ++i) {
        ASSERT_EQ(learn("id", "12", 1), 1) << "sample " << i + 1;
    }
    ASSERT_FALSE(std::filesystem::exists(kResultFile));
    EXPECT_EQ(learn("id", "12", 1), 0);
    EXPECT_EQ(e.learnCount(), 10001u);
    ASSERT_TRUE(std::filesystem::exists(kResultFile));

    // Over for good: a larger maxcount does not restart it, nothing is rewritten.
    std::filesystem::remove(kResultFile);
    EXPECT_EQ(learn("id", "12", 100), 0);
    EXPECT_EQ(learn("other", "12", 100), 0);
    EXPECT_FALSE(std::filesystem::exists(kResultFile));
    EXPECT_EQ(e.learnCount(), 10001u);
    EXPECT_EQ(e.learnSnapshot().size(), 1u);
}

TEST_F(SelfLearnTest, MaxcountBeyond32BitProductsKeepsLearning) {
    // 429497 x 10000 wraps to 2704 in 32 bits.
    for (int i = 0; i < 3000; ++i) {
        ASSERT_EQ(learn("id", "1", 429497), 1) << "sample " << i + 1;
    }
    EXPECT_EQ(learn("id", "1", UINT32_MAX), 1);
    EXPECT_EQ(e.learnCount(), 3001u);
}

// n counts with value at position at, the others 0, joined by ",".
std::string counts(int n, int at, uint32_t value) {
    std::string text;
    for (int i = 0; i < n; ++i) {
        text += (i > 0 ? "," : "") + std::to_string(i == at ? value : 0);
    }
    return text;
}

std::string resultLine(const std::string& key, int type, int bucket, uint32_t samples,
                       uint32_t len) {
    return key + " {" + counts(16, type, samples) + "} {" + counts(21, bucket, samples) + "} " +
           std::to_string(len) + " " + std::to_string(len) + "\r\n";
}

TEST_F(SelfLearnTest, ResultLinesInByteOrderOfTheKeys) {
    ASSERT_EQ(e.selflearn("b.com", "80", "/x", "q", 'G', "on", 1), 1);
    ASSERT_EQ(e.selflearn("A.com", "80", "/X", "ID", 'P', "a+b", 1), 1);
    ASSERT_EQ(e.selflearn("a.com", "80", "/x", "id", 'C', "", 1), 1);
    ASSERT_EQ(e.selflearn("a.com", "8080", "/x", "id", 'G', std::string(101, 'x'), 1), 1);
    while (e.learnCount() < 10001) {
        ASSERT_EQ(e.selflearn("a.com", "80", "/x", "id", 'G', "12", 1), 1);
    }
    EXPECT_EQ(e.selflearn("a.com", "80", "/x", "id", 'G', "12", 1), 0);

    // ':' sorts after '8', upper-case letters before lower-case ones.
    const std::string expected = resultLine("a.com::8080::/x::G::id", 11, 20, 1, 101) +
                                 resultLine("a.com::80::/x::C::id", 15, 20, 1, 0) +
                                 resultLine("a.com::80::/x::G::id", 0, 0, 9997, 2) +
                                 resultLine("a.com::80::/x::P::id", 12, 0, 1, 3) +
                                 resultLine("b.com::80::/x::G::q", 3, 0, 1, 2);
    EXPECT_EQ(readFile(kResultFile), expected);
}

TEST_F(SelfLearnTest, KeyLongerThanItsCapIsNotLearned) {
    testing::TraceCapture trace;
    const std::string prefix = "site::80::/a.asp::G::"; // the key of learn()
    const std::string fits(kLearnKeyLengthMax - prefix.size(), 'n');
    EXPECT_EQ(learn(fits, "1"), 1);
    EXPECT_EQ(e.selflearnKey(prefix + fits + "n", "1", 10), LearnResult::KeyTooLong);
    EXPECT_EQ(e.selflearnKey(prefix + fits + "nn", "1", 10), LearnResult::NotCounted);
    EXPECT_EQ(learn(fits + "n", "1"), 0);
    EXPECT_EQ(learn(fits, "1"), 1);
    EXPECT_EQ(e.learnSnapshot().size(), 1u);
    EXPECT_EQ(e.learnCount(), 2u);
    EXPECT_NE(trace.text().find("selflearn key not learned: key too long"), std::string::npos);
}

TEST_F(SelfLearnTest, NewKeysPastTheKeyCapAreNotLearnedKnownKeysAre) {
    for (size_t i = 0; i < kLearnKeysMax; ++i) {
        ASSERT_EQ(learn("p" + std::to_string(i), "1"), 1) << i;
    }
    EXPECT_EQ(e.selflearnKey("site::80::/a.asp::G::new", "1", 10), LearnResult::TooManyKeys);
    EXPECT_EQ(e.selflearnKey("site::80::/a.asp::G::new", "1", 10), LearnResult::NotCounted);
    EXPECT_EQ(learn("p7", "12345"), 1);
    EXPECT_EQ(e.learnSnapshot().size(), kLearnKeysMax);
    EXPECT_EQ(statOf("p7").maxlen, 5u);
}

TEST_F(SelfLearnTest, ResultFileKeepsOneLinePerKey) {
    ASSERT_EQ(e.selflearn("h", "80", "/a\r\nb c", "n\n", 'G', "1", 0), 1);
    ASSERT_EQ(e.selflearn("h", "80", "/a", "n", 'G', "1", 0), 0);
    EXPECT_EQ(readFile(kResultFile), resultLine("h::80::/a%0D%0Ab c::G::n%0A", 0, 0, 1, 1));
}

TEST_F(SelfLearnTest, MissingLogFolderEndsLearningSilently) {
    std::filesystem::remove_all("log");
    ASSERT_EQ(learn("id", "1", 0), 1);
    EXPECT_EQ(learn("id", "1", 0), 0);
    EXPECT_EQ(learn("id", "1", 0), 0);
    EXPECT_FALSE(std::filesystem::exists("log"));
    EXPECT_EQ(e.learnCount(), 1u);
}

TEST_F(SelfLearnTest, ConcurrentSamplesAreNeitherLostNorWrittenTwice) {
    constexpr int kThreads = 8;
    constexpr int kCallsEach = 2000;
    testing::TraceCapture trace;
    std::atomic<uint32_t> counted{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            const std::string param = "p" + std::to_string(t);
            for (int i = 0; i < kCallsEach; ++i) {
                counted.fetch_add(uint32_t(learn(param, "12", 1)));
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(counted.load(), 10001u);
    EXPECT_EQ(e.learnCount(), 10001u);

    const std::string text = trace.text();
    size_t saves = 0;
    for (size_t at = text.find("selflearn over,saving result..."); at != std::string::npos;
         at = text.find("selflearn over,saving result...", at + 1)) {
        ++saves;
    }
    EXPECT_EQ(saves, 1u);

    std::string expected;
    uint32_t total = 0;
    for (const auto& [key, stat] : e.learnSnapshot()) {
        total += stat.typecount[0];
        expected += resultLine(key, 0, 0, stat.typecount[0], 2);
    }
    EXPECT_EQ(total, 10001u);
    EXPECT_EQ(readFile(kResultFile), expected);
}

} // namespace
} // namespace ostrum
