#include "service/decoders.h"
#include "service/engine.h"
#include "service/rule_prefilter.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrum {
namespace {

// Patterns of every kind the scanner meets: plain signatures, anchors,
// classes and escapes whose byte semantics must agree, and constructs it
// can only approximate or cannot read at all.
const char* const kPatterns[] = {
    R"(union\s+(all\s+)?select)",
    R"(<\s*script[\s>/])",
    "etc/passwd",
    R"(\.\./)",
    "SELECT",
    "select",
    R"(\bor\b\s+\d+=\d+)",
    R"(^/admin)",
    R"(\.php$)",
    R"(a\Z)",
    R"(a\z)",
    R"(\v)",
    R"(\s{2})",
    R"([^a-z0-9%+])",
    R"(\x00)",
    R"(\xc3\xa9)",
    R"([\x80-\xff]{2})",
    "(?i)drop",
    R"((a)\1)",
    R"((?<=%)2)",
    R"(x(?=y))",
    R"((?>a+)b)",
    "a++b",
    R"(\Ka)",
    R"(\R)",
    R"(\h)",
    R"(\C)",
    "(*UTF)\xc3",
    "(*LIMIT_MATCH=1)(a+)+$",
    R"([[:alpha:]]{5})",
    R"(\p{L})",
    "a|",
    "x*",
    "$",
    R"(\n$)",
    "(?m)^b",
    "(?s)a.b",
    R"(a{3,})",
    R"((a|b|c){4})",
    "'",
    "%27",
    "+",
    "a b",
    "(",
    R"((\w+)=\1)",
    R"([<>;])",
    R"(^[^/])",
    R"(^ab|^%)",
    R"(\A.{2}x)",
    R"(^[a-z]{20})",
    R"((?<!\w)or)",
    R"((?<![^\s,(])select)",
    R"(^ab$)",
    R"(\bab\b)",
    R"(\Bb)",
    R"(b\B)",
    R"(^\s*$)",
    R"(\Gab)",
    R"(x\z)",
    R"(\\z)",
    R"(^)",
    R"(a$\n?)",
    R"(\n(?<!\r\n)(?=\s*id))",
    R"(\x0a[a-z]+)",
    R"([\n]x|\ny)",
};

const char* const kPositionNames[] = {"any", "url",    "argget", "agent",  "alan",
                                      "arg", "cookie", "host",   "method", "argpost"};

// A value from bytes that decode, escape and case differently.
std::string randomValue(std::mt19937& random) {
    static const std::string kPieces[] = {
        "a",   "b",    "x",          "y",    "A",    "SeLeCt", "union", " ",    "+",    "%20",
        "%27", "'",    "%",          "%z",   "\n",   "\v",     "\r\n",  "\t",   "=",    "1",
        "or",  "/",    "..",         "<",    ">",    ";",      "\0",    "\xc3", "\xa9", "%C3%A9",
        "%00", ".php", "etc/passwd", "drop", "\xff", "script", "all",   "ab",   "aaaa", "%2e%2e/",
        "%0A", "%0d%0a",
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

// The candidates of one value, a list of one; `normal` of a value that is
// its own normal form is the value itself.
bool candidatesOf(const RulePrefilter& prefilter, int32_t position, std::string_view raw,
                  std::string_view normal, std::vector<uint32_t>& out) {
    const RulePrefilter::Value one{raw, normal, false};
    return prefilter.candidatesOfList(position, std::span(&one, 1), std::span(&out, 1));
}

bool candidatesOf(const RulePrefilter& prefilter, int32_t position, std::string_view value,
                  std::vector<uint32_t>& out) {
    const RulePrefilter::Value one{value, value, true};
    return prefilter.candidatesOfList(position, std::span(&one, 1), std::span(&out, 1));
}

void expectSameAnswer(engine& rules, const std::string& value) {
    for (int32_t position = -1; position <= kPositionCount; ++position) {
        for (const bool utf8 : {false, true}) {
            const rulematch fast = rules.matchRules(position, value, utf8);
            const rulematch plain = rules.matchRulesOneByOne(position, value, utf8);
            ASSERT_EQ(fast.hit, plain.hit) << ::testing::PrintToString(value) << " at " << position;
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

// Each value of the list gets the answer it gets alone, at every position.
void expectSameListAnswers(engine& rules, const PairList& pairs) {
    std::vector<rulematch> got;
    for (int32_t position = -1; position <= kPositionCount; ++position) {
        for (const bool utf8 : {false, true}) {
            rules.matchRulesList(position, pairs, utf8, got);
            ASSERT_EQ(got.size(), pairs.size());
            for (size_t i = 0; i < pairs.size(); ++i) {
                const rulematch plain = rules.matchRulesOneByOne(position, pairs[i].second, utf8);
                ASSERT_EQ(got[i].hit, plain.hit)
                    << "value " << i << " of " << ::testing::PrintToString(pairs) << " at "
                    << position;
                if (plain.hit != 0) {
                    ASSERT_EQ(got[i].id, plain.id) << ::testing::PrintToString(pairs);
                }
            }
        }
    }
}

// The candidates of each value of a list name every rule of the position
// that fires on the value alone, whichever rule fires first.
void expectCandidatesCoverEveryHit(engine& rules, const PairList& pairs) {
    const RulePrefilter* prefilter = rules.prefilter();
    ASSERT_NE(prefilter, nullptr);
    std::vector<std::string> normals(pairs.size());
    std::vector<RulePrefilter::Value> values;
    for (size_t i = 0; i < pairs.size(); ++i) {
        const std::string_view raw = pairs[i].second;
        normalForm(raw, false, normals[i]);
        values.push_back({raw, normals[i], normals[i] == raw});
    }
    std::vector<std::vector<uint32_t>> candidates(pairs.size());
    for (int32_t position = 0; position < kPositionCount; ++position) {
        ASSERT_TRUE(prefilter->candidatesOfList(position, values, candidates));
        for (size_t i = 0; i < pairs.size(); ++i) {
            if (pairs[i].second.empty()) {
                continue;
            }
            for (uint32_t r = 0; r < rules.rules().size(); ++r) {
                const rulenode& rule = rules.rules()[r];
                if (rule.appliesTo(position) &&
                    rule.compare(rule.tra == TRA_NORMAL ? normals[i] : pairs[i].second)) {
                    ASSERT_TRUE(std::find(candidates[i].begin(), candidates[i].end(), r) !=
                                candidates[i].end())
                        << "rule " << rule.id << " not named for value " << i << " of "
                        << ::testing::PrintToString(pairs) << " at " << position;
                }
            }
        }
    }
}

// Lists as a form or a query gives them: empty values, line ends inside,
// values that are their own normal form and values that are not, each
// value first, last and between others.
void expectSameAnswersInLists(engine& rules, std::mt19937& random, int lists) {
    std::uniform_int_distribution<size_t> count(1, 6);
    std::uniform_int_distribution<int> kind(0, 5);
    std::string normal;
    for (int l = 0; l < lists; ++l) {
        PairList pairs;
        for (size_t i = count(random); i > 0; --i) {
            std::string value = randomValue(random);
            const int k = kind(random);
            if (k == 0) {
                value.clear();
            } else if (k == 1) {
                normalForm(value, false, normal);
                value = normal;
            } else if (k == 2) {
                value = "\n" + value + "\n";
            }
            pairs.add("n", pairs.keep(value));
        }
        expectSameListAnswers(rules, pairs);
        expectCandidatesCoverEveryHit(rules, pairs);
        if (::testing::Test::HasFatalFailure()) {
            return;
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
                expectSameAnswersInLists(rules, random, 30);
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
        expectSameAnswersInLists(rules, random, 200);
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
    ASSERT_TRUE(
        candidatesOf(*prefilter, POS_ARGGET, "a%20union  select", "a union  select", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 2}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_URL, "/x", "/x", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{3}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_COOKIE, "a union  select", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 2}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_ARGPOST, "etc/passwd", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{1, 2}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_URL, "etc/passwd", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{3}));
}

// A rule that can only match a value's first few bytes costs less to
// confirm than to carry in a database; an unanchored or unbounded one, or
// one whose work its width does not bound, is scanned.
TEST(RulePrefilterTest, RulesOfTheFirstFewBytesAreConfirmedForEveryValue) {
    engine rules;
    const char* const patterns[] = {
        R"(^[^/])", R"(\Aab|^%)", R"(^[a-z]{17})", R"(^\s*x)",
        R"(^a|b)",  R"((?m)^a)",  R"(^(?=\w*z)a)", R"(^(a)\1)",
    };
    for (size_t i = 0; i < std::size(patterns); ++i) {
        ASSERT_TRUE(rules.addrulestr(
            ruleLine(i + 1, i % 2 == 0 ? "url" : "any", false, "regex", patterns[i])));
    }
    const std::unique_ptr<RulePrefilter> prefilter = RulePrefilter::build(rules.rules());
    ASSERT_NE(prefilter, nullptr);
    EXPECT_EQ(prefilter->alwaysConfirmedCount(), 2u);

    std::vector<uint32_t> candidates;
    ASSERT_TRUE(candidatesOf(*prefilter, POS_URL, "/x", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 1}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_ARGGET, "qqq", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{1}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_ARGGET, "abcdefghijklmnopqrstuvwxyz", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{1, 5}));
}

// A rule that matches only from a line feed on would meet every join of a
// list; it is kept out of the scan and confirmed for the values that hold
// the byte in its transform, and such a value is still told apart from its
// neighbours.
TEST(RulePrefilterTest, RulesFromALineFeedOnAreConfirmedWhereOneIs) {
    engine rules;
    const char* const patterns[] = {R"(\n(?<!\r\n)id)", R"([\n]x|\ny)", R"(a\nb)", R"(\n?z)"};
    for (size_t i = 0; i < std::size(patterns); ++i) {
        ASSERT_TRUE(rules.addrulestr(ruleLine(i + 1, "arg", true, "regex", patterns[i])));
    }
    const std::unique_ptr<RulePrefilter> prefilter = RulePrefilter::build(rules.rules());
    ASSERT_NE(prefilter, nullptr);
    EXPECT_EQ(prefilter->alwaysConfirmedCount(), 2u);

    std::vector<uint32_t> candidates;
    ASSERT_TRUE(candidatesOf(*prefilter, POS_ARGGET, "a%0Ay", "a\ny", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{0, 1}));
    ASSERT_TRUE(candidatesOf(*prefilter, POS_ARGGET, "id", candidates));
    EXPECT_EQ(candidates, (std::vector<uint32_t>{}));

    PairList pairs;
    for (const char* text : {"id", "x\nid", "\r\nid", "y", "a", "b", "a%0Ab", "%0Ay", "z"}) {
        pairs.add("n", text);
    }
    expectSameListAnswers(rules, pairs);
}

// A list longer than the room a thread keeps, then short ones: the room
// given back in between must not mix up whose candidates are whose.
TEST(RulePrefilterTest, ListsLongAndShortKeepTheirOwnAnswers) {
    engine rules;
    const char* const patterns[] = {R"(select\s+\w)", R"(\bor\b)", "union"};
    for (size_t i = 0; i < std::size(patterns); ++i) {
        ASSERT_TRUE(rules.addrulestr(ruleLine(i + 1, "any", i != 0, "regex", patterns[i])));
    }
    PairList many;
    for (size_t i = 0; i < 3000; ++i) {
        const char* const texts[] = {"plain", "a or b", "SELECT%20x", "", "Union", "selector"};
        many.add("n", texts[i % std::size(texts)]);
    }
    expectSameListAnswers(rules, many);
    PairList few;
    for (const char* text : {"x or y", "union all", "word"}) {
        few.add("n", text);
    }
    expectSameListAnswers(rules, few);
    expectSameListAnswers(rules, many);
}

// A rule whose match needs the edges of the whole text, or may be empty,
// cannot be told to one value of a list by its end: it is confirmed for
// every value. A lookbehind at a value's start is left to the compare by
// the scanner, so it stays in the databases.
TEST(RulePrefilterTest, RulesOfTheTextsEdgesAreConfirmedForEveryValue) {
    engine rules;
    const char* const patterns[] = {
        R"(select\z)", R"(\Gab)", R"((?<!\w)or\b)", R"(\bab$)", R"(\\z)", R"(^\s*$)", R"(x*)",
    };
    for (size_t i = 0; i < std::size(patterns); ++i) {
        ASSERT_TRUE(rules.addrulestr(ruleLine(i + 1, "arg", false, "regex", patterns[i])));
    }
    const std::unique_ptr<RulePrefilter> prefilter = RulePrefilter::build(rules.rules());
    ASSERT_NE(prefilter, nullptr);
    EXPECT_EQ(prefilter->alwaysConfirmedCount(), 5u);

    PairList pairs;
    for (const auto& [name, value] : {std::pair{"a", "select"},
                                      {"b", "or"},
                                      {"c", ""},
                                      {"d", "c ab"},
                                      {"e", "x or y"},
                                      {"f", "q"}}) {
        pairs.add(name, value);
    }
    std::vector<rulematch> got;
    rules.matchRulesList(POS_ARGPOST, pairs, false, got);
    const std::vector<int32_t> want = {1, 3, 0, 4, 3, 7};
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].hit != 0 ? got[i].id : 0, want[i]) << i;
    }
}

} // namespace
} // namespace ostrum
