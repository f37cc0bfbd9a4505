#include "service/decoders.h"
#include "service/engine.h"

#include <gtest/gtest.h>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace ostrum {
namespace {

// Patterns of every kind the scanner meets: plain signatures, anchors,
// classes and escapes whose byte semantics must agree, and constructs it
// can only approximate or cannot read at all.
const char* const kPatterns[] = {
    R"(union\s+(all\s+)?select)", R"(<\s*script[\s>/])", "etc/passwd", R"(\.\./)", "SELECT",
    "select", R"(\bor\b\s+\d+=\d+)", R"(^/admin)", R"(\.php$)", R"(a\Z)", R"(a\z)", R"(\v)",
    R"(\s{2})", R"([^a-z0-9%+])", R"(\x00)", R"(\xc3\xa9)", R"([\x80-\xff]{2})", "(?i)drop",
    R"((a)\1)", R"((?<=%)2)", R"(x(?=y))", R"((?>a+)b)", "a++b", R"(\Ka)", R"(\R)", R"(\h)",
    R"(\C)", "(*UTF)\xc3", "(*LIMIT_MATCH=1)(a+)+$", R"([[:alpha:]]{5})", R"(\p{L})", "a|",
    "x*", "$", R"(\n$)", "(?m)^b", "(?s)a.b", R"(a{3,})", R"((a|b|c){4})", "'", "%27", "+",
    "a b", "(", R"((\w+)=\1)", R"([<>;])", R"(^[^/])", R"(^ab|^%)", R"(\A.{2}x)",
    R"(^[a-z]{20})",
};

const char* const kPositionNames[] = {"any",  "url",    "argget", "agent",  "alan",
                                      "arg",  "cookie", "host",   "method", "argpost"};

// A value from bytes that decode, escape and case differently.
std::string randomValue(std::mt19937& random) {
    static const std::string kPieces[] = {
        "a",   "b",  "x",  "y",     "A",      "SeLeCt", "union", " ",   "+",  "%20", "%27", "'",
        "%",   "%z", "\n", "\v",    "\r\n",   "\t",     "=",     "1",   "or", "/",   "..",  "<",
        ">",   ";",  "\0", "\xc3",  "\xa9",   "%C3%A9", "%00",   ".php", "etc/passwd", "drop",
        "\xff", "script", "all", "ab", "aaaa", "%2e%2e/",
    };
    std::uniform_int_distribution<size_t> length(1, 12);
    std::uniform_int_distribution<size_t> piece(0, std::size(kPieces) - 1);
    std::string value;
    for (size_t i = length(random); i > 0; --i) {
        value += kPieces[piece(random)];
    }
    return value;
}

std::string ruleLine(size_t id, const char* position, bool normal, const char* compare,
                     const std::string& pattern) {
    return "RAWRULE \"" + std::to_string(id) + "," + position + "," +
           (normal ? "normal," : "raw,") + compare + ",log\" \"" + pattern + "\"";
}

void expectSameAnswer(engine& rules, const std::string& value) {
    for (int32_t position = -1; position <= kPositionCount; ++position) {
        for (const bool utf8 : {false, true}) {
            const rulematch fast = rules.matchRules(position, value, utf8);
            const rulematch plain = rules.matchRulesOneByOne(position, value, utf8);
            ASSERT_EQ(fast.hit, plain.hit) << ::testing::PrintToString(value) << " at "
                                           << position;
            if (plain.hit != 0) {
                ASSERT_EQ(fast.id, plain.id) << ::testing::PrintToString(value);
            }
        }
    }
}

// Each random value, and its normal form, which is mostly its own normal
// form and so takes the one-scan path.
void expectSameAnswers(engine& rules, std::mt19937& random, int values) {
    std::string normal;
    for (int v = 0; v < values; ++v) {
        const std::string value = randomValue(random);
        normalForm(value, false, normal);
        for (const std::string& seen : {value, normal}) {
            expectSameAnswer(rules, seen);
            if (::testing::Test::HasFatalFailure()) {
                return;
            }
        }
    }
}

// Each pattern alone, under each compare and transform.
TEST(RulePrefilterTest, EveryRuleAloneAgreesWithTheRuleItself) {
    std::mt19937 random(7);
    for (const char* pattern : kPatterns) {
        for (const char* compare : {"find", "regex", "!regex"}) {
            for (const bool normal : {false, true}) {
                SCOPED_TRACE(std::string(pattern) + " " + compare + (normal ? " normal" : " raw"));
                engine rules;
                if (!rules.addrulestr(ruleLine(1, "any", normal, compare, pattern))) {
                    continue; // refused by PCRE2 or the grammar
                }
                expectSameAnswers(rules, random, 60);
            }
        }
    }
}

// Generated rule sets, so that rules of many positions and kinds compete
// for the first hit.
TEST(RulePrefilterTest, GeneratedRuleSetsAgreeWithTheWalkOverEveryRule) {
    std::mt19937 random(11);
    std::uniform_int_distribution<size_t> pattern(0, std::size(kPatterns) - 1);
    std::uniform_int_distribution<size_t> position(0, std::size(kPositionNames) - 1);
    std::uniform_int_distribution<int> kind(0, 9);
    std::uniform_int_distribution<int> percent(0, 99);
    // Rules spread over the positions, and rules mostly of "any", where the
    // positions share the databases of all the rules.
    for (const auto& [count, anyShare] : {std::pair{3, 0}, {20, 0}, {120, 0}, {60, 85}}) {
        SCOPED_TRACE(count);
        engine rules;
        for (size_t i = 0; i < size_t(count); ++i) {
            const int k = kind(random);
            const char* compare = k < 3 ? "find" : (k < 9 ? "regex" : "!regex");
            const char* where =
                percent(random) < anyShare ? "any" : kPositionNames[position(random)];
            (void)rules.addrulestr(
                ruleLine(i + 1, where, k % 2 == 0, compare, kPatterns[pattern(random)]));
        }
        ASSERT_NE(RulePrefilter::build(rules.rules()), nullptr);
        expectSameAnswers(rules, random, 400);
    }
}

TEST(RulePrefilterTest, OnlyWhatTheScannerCannotTellIsAlwaysConfirmed) {
    engine rules;
    ASSERT_TRUE(rules.addrulestr(ruleLine(1, "arg", true, "regex", R"(union\s+select)")));
    ASSERT_TRUE(rules.addrulestr(ruleLine(2, "arg", false, "find", "etc/passwd")));
    ASSERT_TRUE(rules.addrulestr(ruleLine(3, "arg", false, "!regex", "^[a-z]+$")));
    ASSERT_TRUE(rules.addrulestr(ruleLine(4, "url", false, "regex", R"(\Kx)")));
    const std::unique_ptr<RulePrefilter> prefilter = RulePrefilter::build(rules.rules());
    ASSERT_NE(prefilter, nullptr);
    EXPECT_EQ(prefilter->alwaysConfirmedCount(), 2u);

    std::vector<uint32_t> candidates;
    ASSERT_TRUE(prefilter->candidates(POS_ARGGET, "a%20union  select", "a union  select",
                                      candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 2}));
    ASSERT_TRUE(prefilter->candidates(POS_URL, "/x", "/x", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{3}));
    ASSERT_TRUE(prefilter->candidates(POS_COOKIE, "a union  select", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 2}));
    ASSERT_TRUE(prefilter->candidates(POS_ARGPOST, "etc/passwd", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{1, 2}));
    ASSERT_TRUE(prefilter->candidates(POS_URL, "etc/passwd", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{3}));
}

// A rule that can only match a value's first few bytes costs less to
// confirm than to carry in a database; an unanchored or unbounded one, or
// one whose work its width does not bound, is scanned.
TEST(RulePrefilterTest, RulesOfTheFirstFewBytesAreConfirmedForEveryValue) {
    engine rules;
    const char* const patterns[] = {
        R"(^[^/])",    R"(\Aab|^%)",  R"(^[a-z]{17})", R"(^\s*x)",
        R"(^a|b)",     R"((?m)^a)",   R"(^(?=\w*z)a)", R"(^(a)\1)",
    };
    for (size_t i = 0; i < std::size(patterns); ++i) {
        ASSERT_TRUE(rules.addrulestr(ruleLine(i + 1, i % 2 == 0 ? "url" : "any", false, "regex",
                                              patterns[i])));
    }
    const std::unique_ptr<RulePrefilter> prefilter = RulePrefilter::build(rules.rules());
    ASSERT_NE(prefilter, nullptr);
    EXPECT_EQ(prefilter->alwaysConfirmedCount(), 2u);

    std::vector<uint32_t> candidates;
    ASSERT_TRUE(prefilter->candidates(POS_URL, "/x", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 1}));
    ASSERT_TRUE(prefilter->candidates(POS_ARGGET, "qqq", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{1}));
    ASSERT_TRUE(prefilter->candidates(POS_ARGGET, "abcdefghijklmnopqrstuvwxyz", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{1, 5}));
}

} // namespace
} // namespace ostrum
