#include "service/engine.h"
#include "service/rulenode.h"
#include "service/tests/trace_capture.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

using namespace std::string_literals;

struct TokenCase {
    std::string token;
    int32_t expected;
};

TEST(RulenodeTokens, PositionTokensIgnoreCaseAndUnknownMeansAny) {
    const TokenCase cases[] = {
        {"any", 0},  {"method", 1}, {"url", 2},     {"URL", 2},      {"argget", 3},
        {"ver", 4},  {"host", 5},   {"agent", 6},   {"referer", 7},  {"proxy", 8},
        {"cip", 9},  {"alan", 10},  {"cookie", 11}, {"ArgPost", 12}, {"arg", 13},
        {"ARG", 13}, {" url", 0},   {"urls", 0},    {"", 0},         {"args", 0},
    };
    rulenode rule;
    for (const TokenCase& c : cases) {
        EXPECT_EQ(rule.parseTar(c.token), c.expected) << "token '" << c.token << "'";
    }
}

TEST(RulenodeTokens, TransformCompareAndHandleTokens) {
    rulenode rule;
    const TokenCase transforms[] = {{"raw", 0}, {"normal", 1}, {"NORMAL", 1}, {"norm", 0}};
    for (const TokenCase& c : transforms) {
        EXPECT_EQ(rule.parseTra(c.token), c.expected) << "token '" << c.token << "'";
    }
    const TokenCase compares[] = {{"find", 0},   {"regex", 1},  {"Regex", 1},
                                  {"!regex", 2}, {"!REGEX", 2}, {"re", 0}};
    for (const TokenCase& c : compares) {
        EXPECT_EQ(rule.parseCm(c.token), c.expected) << "token '" << c.token << "'";
    }
    const TokenCase handles[] = {{"block", 0}, {"log", 1}, {"LOG", 1}, {"blok", 0}, {"lg", 0}};
    for (const TokenCase& c : handles) {
        EXPECT_EQ(rule.parseHd(c.token), c.expected) << "token '" << c.token << "'";
    }
}

TEST(Rulenode, SetRefusesEmptyPatternAndCompilesOnlyRegexRules) {
    rulenode rule;
    EXPECT_FALSE(rule.set(7, POS_URL, TRA_RAW, CM_REGEX, HD_LOG, ""));
    EXPECT_EQ(rule.id, 0);
    EXPECT_TRUE(rule.pat.empty());

    EXPECT_TRUE(rule.set(7, POS_URL, TRA_RAW, CM_FIND, HD_LOG, "(unbalanced"));
    EXPECT_EQ(rule.compiled, nullptr);
    EXPECT_EQ(rule.getId(), 7);
    EXPECT_EQ(rule.getHd(), HD_LOG);

    EXPECT_TRUE(rule.set(8, POS_URL, TRA_RAW, CM_NOT_REGEX, HD_BLOCK, "a+b"));
    EXPECT_NE(rule.compiled, nullptr);
    EXPECT_TRUE(rule.set(8, POS_URL, TRA_RAW, CM_FIND, HD_BLOCK, "a+b"));
    EXPECT_EQ(rule.compiled, nullptr);
}

TEST(Rulenode, CompileFailureIsTracedWithCodeAndOffset) {
    testing::TraceCapture trace;
    rulenode rule;
    EXPECT_FALSE(rule.set(9, POS_ANY, TRA_RAW, CM_REGEX, HD_BLOCK, "union(select"));
    const std::string text = trace.text();
    EXPECT_NE(text.find("pcre_compile failed!\n"), std::string::npos) << text;
    EXPECT_NE(text.find("union(select (error 114 at offset 12"), std::string::npos) << text;
}

TEST(Rulenode, TracesLifetimeAndHits) {
    testing::TraceCapture trace;
    {
        rulenode rule;
        ASSERT_TRUE(rule.set(1, POS_ANY, TRA_RAW, CM_FIND, HD_BLOCK, "evil"));
        EXPECT_TRUE(rule.match(POS_URL, "so evil", false));
    }
    const std::string text = trace.text();
    EXPECT_NE(text.find("rulenode constuct\n"), std::string::npos) << text;
    EXPECT_NE(text.find("rulenode::match str match! string=so evil\n"), std::string::npos) << text;
    EXPECT_NE(text.find("rulenode destoried\n"), std::string::npos) << text;
}

rulenode makeRule(int32_t tar, int32_t tra, int32_t cm, const std::string& pat) {
    rulenode rule;
    EXPECT_TRUE(rule.set(1, tar, tra, cm, HD_BLOCK, pat)) << pat;
    return rule;
}

TEST(Rulenode, PositionTest) {
    rulenode arg = makeRule(POS_ARG, TRA_RAW, CM_FIND, "x");
    rulenode any = makeRule(POS_ANY, TRA_RAW, CM_FIND, "x");
    rulenode host = makeRule(POS_HOST, TRA_RAW, CM_FIND, "x");
    for (int32_t position = -1; position <= 14; ++position) {
        const bool argPosition =
            position == 3 || position == 11 || position == 12 || position == 13;
        EXPECT_EQ(arg.match(position, "x", false), argPosition) << "position " << position;
        EXPECT_TRUE(any.match(position, "x", false)) << "position " << position;
        EXPECT_EQ(host.match(position, "x", false), position == POS_HOST)
            << "position " << position;
    }
}

struct CompareCase {
    int32_t tra;
    int32_t cm;
    std::string pat;
    std::string value;
    bool useUtf8;
    bool expected;
};

TEST(Rulenode, TransformAndCompare) {
    const std::string longA = std::string(40, 'a') + "!";
    const CompareCase cases[] = {
        {TRA_NORMAL, CM_FIND, "select", "SeLeCt%20x", false, true},
        {TRA_NORMAL, CM_REGEX, "select\\s+x", "SeLeCt%20x", false, true},
        {TRA_NORMAL, CM_FIND, "SELECT", "SELECT", false, false},
        {TRA_NORMAL, CM_REGEX, "[A-Z]", "ABC", false, false},
        {TRA_RAW, CM_FIND, "SELECT", "SELECT", false, true},
        {TRA_RAW, CM_FIND, "SELECT", "select", false, false},
        {TRA_RAW, CM_FIND, "'", "%27", false, false},
        {TRA_NORMAL, CM_FIND, "'", "%27", false, true},
        {TRA_NORMAL, CM_FIND, "'", "'", false, true},
        {TRA_NORMAL, CM_FIND, " or ", "1+OR+1", false, true},
        {TRA_RAW, CM_FIND, " or ", "1+or+1", false, false},
        {TRA_NORMAL, CM_FIND, "\xD6\xD0", "%E4%B8%AD", true, true},
        {TRA_NORMAL, CM_FIND, "\xD6\xD0", "%E4%B8%AD", false, false},
        {TRA_NORMAL, CM_FIND, "abc", "x%00abc", true, true},
        {TRA_NORMAL, CM_FIND, "abc", "x%00abc", false, true},
        {TRA_RAW, CM_REGEX, "^\\d+$", "123", false, true},
        {TRA_RAW, CM_NOT_REGEX, "^\\d+$", "123", false, false},
        {TRA_RAW, CM_NOT_REGEX, "^\\d+$", "12a", false, true},
        {TRA_RAW, CM_REGEX, "(a+)+$", longA, false, false},    // limit: no match
        {TRA_RAW, CM_NOT_REGEX, "(a+)+$", longA, false, true}, // limit: fires
    };
    for (const CompareCase& c : cases) {
        rulenode rule = makeRule(POS_ANY, c.tra, c.cm, c.pat);
        EXPECT_EQ(rule.match(POS_ARGGET, c.value, c.useUtf8), c.expected)
            << "tra " << c.tra << " cm " << c.cm << " pat '" << c.pat << "' value '" << c.value
            << "' utf8 " << c.useUtf8;
    }
}

TEST(Rulenode, RegexRuleWithoutCompiledPatternOrUnknownCompareNeverFires) {
    rulenode rule;
    rule.pat = "x";
    for (const int32_t cm : {int32_t(CM_REGEX), int32_t(CM_NOT_REGEX), 3, -1}) {
        rule.cm = cm;
        EXPECT_FALSE(rule.match(POS_URL, "x", false)) << "cm " << cm;
    }
}

TEST(Rulenode, CopySharesTheCompiledPattern) {
    const rulenode original = makeRule(POS_URL, TRA_RAW, CM_REGEX, "a.c");
    const rulenode copy = original;
    EXPECT_EQ(copy.compiled, original.compiled);
    EXPECT_TRUE(copy.compare("abc"));
}

std::string ruleLine(int id, const std::string& fields, const std::string& pat) {
    return "RAWRULE \"" + std::to_string(id) + "," + fields + "\" \"" + pat + "\"";
}

TEST(MatchRules, EmptyValueNeverHits) {
    engine e;
    ASSERT_TRUE(e.addrulestr(ruleLine(1, "any,raw,!regex,block", "x")));
    EXPECT_EQ(e.matchRules(POS_URL, "", false).hit, 0);
    EXPECT_EQ(e.matchRules(POS_URL, "a", false).hit, 1);
}

TEST(MatchRules, FirstRuleInFileOrderWinsWithItsHandle) {
    engine e;
    ASSERT_TRUE(e.addrulestr(ruleLine(20, "url,raw,find,log", "etc/passwd")));
    ASSERT_TRUE(e.addrulestr(ruleLine(5, "any,normal,regex,block", "passwd")));
    ASSERT_TRUE(e.addrulestr(ruleLine(6, "any,raw,find,log", "shadow")));
    struct Case {
        int32_t position;
        std::string value;
        int32_t hit;
        int32_t id;
        int32_t hd;
    };
    const Case cases[] = {
        {POS_URL, "/etc/passwd", 1, 20, HD_LOG},  {POS_ARGGET, "/etc/passwd", 1, 5, HD_BLOCK},
        {POS_URL, "/ETC/PASSWD", 1, 5, HD_BLOCK}, {POS_COOKIE, "shadow", 1, 6, HD_LOG},
        {POS_COOKIE, "nothing", 0, 0, 0},
    };
    for (const Case& c : cases) {
        const rulematch m = e.matchRules(c.position, c.value, false);
        EXPECT_EQ(m.hit, c.hit) << c.position << " " << c.value;
        if (c.hit == 1) {
            EXPECT_EQ(m.id, c.id) << c.position << " " << c.value;
            EXPECT_EQ(m.hd, c.hd) << c.position << " " << c.value;
        }
    }
}

// The plain walk over every rule, the reference the indexed walk must equal.
rulematch plainWalk(const engine& e, int32_t position, std::string_view value, bool useUtf8) {
    if (value.empty()) {
        return {};
    }
    for (rulenode rule : e.rules()) {
        if (rule.match(position, value, useUtf8)) {
            return {1, rule.getId(), rule.getHd()};
        }
    }
    return {};
}

void addMixedRules(engine& e) {
    const char* lines[] = {
        R"r(RAWRULE "1,arg,normal,regex,block" "union\s+select")r",
        R"r(RAWRULE "2,url,raw,find,log" ".bak")r",
        R"r(RAWRULE "3,cookie,normal,find,block" "<script")r",
        R"r(RAWRULE "4,any,raw,find,log" "%00")r",
        R"r(RAWRULE "5,agent,normal,regex,block" "^(sqlmap|nikto)")r",
        R"r(RAWRULE "6,ARGPOST,Normal,Regex,LOG" "\.\./")r",
        R"r(RAWRULE "7,host,raw,!regex,block" "^[a-z0-9.:-]+$")r",
        R"r(RAWRULE "8,arg,raw,find,block" "'")r",
        "RAWRULE \"9,argget,normal,find,log\" \"\xD6\xD0\"",
        R"r(RAWRULE "10,any,normal,find,block" "/etc/passwd")r",
    };
    for (const char* line : lines) {
        ASSERT_TRUE(e.addrulestr(line)) << line;
    }
}

TEST(MatchRules, IndexedWalkEqualsPlainWalk) {
    engine e;
    addMixedRules(e);
    const std::string values[] = {
        "1 UNION%20SELECT 2", "backup.bak", "%3Cscript%3E", "a%00b", "SQLMap/1.0",  "..%2f..%2fetc",
        "EVIL HOST",          "o'neil",     "%E4%B8%AD",    "x",     "/ETC/passwd",
    };
    for (int32_t position = -2; position <= 15; ++position) {
        for (const std::string& value : values) {
            for (const bool utf8 : {false, true}) {
                const rulematch got = e.matchRules(position, value, utf8);
                const rulematch want = plainWalk(e, position, value, utf8);
                EXPECT_EQ(got.hit, want.hit) << position << " " << value << " " << utf8;
                if (want.hit == 1) {
                    EXPECT_EQ(got.id, want.id) << position << " " << value << " " << utf8;
                    EXPECT_EQ(got.hd, want.hd) << position << " " << value << " " << utf8;
                }
            }
        }
    }
}

TEST(MatchRules, UnknownPositionMeetsOnlyAnyRules) {
    engine e;
    ASSERT_TRUE(e.addrulestr(ruleLine(1, "arg,raw,find,block", "x")));
    ASSERT_TRUE(e.addrulestr(ruleLine(2, "any,raw,find,log", "x")));
    for (const int32_t position : {-1, 14, 99}) {
        const rulematch m = e.matchRules(position, "x", false);
        EXPECT_EQ(m.hit, 1) << position;
        EXPECT_EQ(m.id, 2) << position;
    }
    EXPECT_EQ(e.matchRules(POS_ARG, "x", false).id, 1);
}

TEST(MatchRules, SeveralThreadsAtOnceAgree) {
    engine e;
    addMixedRules(e);
    const std::vector<std::pair<int32_t, std::string>> probes = {
        {POS_ARGGET, "1 UNION%20SELECT 2"},
        {POS_COOKIE, "%3Cscript%3E"},
        {POS_ARGPOST, "..%2f"},
        {POS_AGENT, "Mozilla"},
    };
    std::vector<rulematch> expected;
    for (const auto& [position, value] : probes) {
        expected.push_back(plainWalk(e, position, value, true));
    }
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < wrong.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 500; ++round) {
                const size_t i = (t + size_t(round)) % probes.size();
                const rulematch m = e.matchRules(probes[i].first, probes[i].second, true);
                wrong[t] += m.hit != expected[i].hit || m.id != expected[i].id;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(Engine, TracesLifetimeAndFormatsText) {
    testing::TraceCapture trace;
    {
        engine e;
        EXPECT_EQ(e.formatString("%s-%03d", "id", 7), "id-007");
        EXPECT_EQ(e.formatString("%s", ""), "");
        EXPECT_EQ(e.todayString().size(), 10u);
        EXPECT_EQ(e.decodeLower("/A%42c"), "/abc");
    }
    const std::string text = trace.text();
    EXPECT_NE(text.find("engin constuct\n"), std::string::npos) << text;
    EXPECT_NE(text.find("engin destoried\n"), std::string::npos) << text;
}

} // namespace
} // namespace ostrum
