#include "service/engine.h"
#include "service/tests/trace_capture.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace ostrum {
namespace {

using namespace std::string_literals;

// Records what the JIPTYPE grammar hands on, so the grammar is tested alone.
class RecordingEngine : public engine {
public:
    bool addSafestrTypeRule(const std::string& name, const std::string& pattern) override {
        typesAdded.emplace_back(name, pattern);
        return !pattern.empty();
    }
    std::vector<std::pair<std::string, std::string>> typesAdded;
};

struct RawRuleCase {
    std::string line;
    int32_t id, tar, tra, cm, hd;
    std::string pat;
};

TEST(RawRuleLine, FieldsAndGreedyGroups) {
    const RawRuleCase cases[] = {
        {R"r(RAWRULE "1,url,raw,find,block" "abc")r", 1, 2, 0, 0, 0, "abc"},
        {R"r(RAWRULE   "2,ARG,Normal,!Regex,LOG"	"a b")r", 2, 13, 1, 2, 1, "a b"},
        {R"r(RAWRULE " 3,cookie,normal,regex,log" "say "hi"")r", 3, 11, 1, 1, 1, R"r(say "hi")r"},
        {R"r(RAWRULE "+4,any,raw,find,log" "a,b,c,d,e")r", 4, 0, 0, 0, 1, "a,b,c,d,e"},
        // a comma in the field list shifts the fields right: the last four commas count
        {R"r(RAWRULE "5,x,url,raw,find,log" "p")r", 5, 2, 0, 0, 1, "p"},
        {R"r(RAWRULE "6,url,raw,find,block,log" "p")r", 6, 0, 0, 0, 1, "p"},
        // the greedy fifth group swallows a quoted word before the last one
        {R"r(RAWRULE "7,url,raw,find,log" "x" "y")r", 7, 2, 0, 0, 0, "y"},
        {R"r(RAWRULE "8abc,host, raw,find,blok" "p")r", 8, 5, 0, 0, 0, "p"},
        {R"r(RAWRULE "2147483647,,,,log" "p")r", 2147483647, 0, 0, 0, 1, "p"},
    };
    for (const RawRuleCase& c : cases) {
        engine e;
        ASSERT_TRUE(e.addrulestr(c.line)) << c.line;
        ASSERT_EQ(e.rules().size(), 1u) << c.line;
        const rulenode& rule = e.rules()[0];
        EXPECT_EQ(rule.id, c.id) << c.line;
        EXPECT_EQ(rule.tar, c.tar) << c.line;
        EXPECT_EQ(rule.tra, c.tra) << c.line;
        EXPECT_EQ(rule.cm, c.cm) << c.line;
        EXPECT_EQ(rule.hd, c.hd) << c.line;
        EXPECT_EQ(rule.pat, c.pat) << c.line;
    }
}

TEST(RawRuleLine, RefusedLines) {
    const std::string lines[] = {
        R"r(RAWRULE "1,url,raw,find,block" "abc" )r",
        R"r(RAWRULE "1,url,raw,find,block" "abc"x)r",
        R"r(rawrule "1,url,raw,find,block" "abc")r",
        R"r( RAWRULE "1,url,raw,find,block" "abc")r",
        R"r(RAWRULE "1,url,raw,find,block" "")r",
        R"r(RAWRULE "1,url,raw,find" "abc")r",
        R"r(RAWRULE"1,url,raw,find,block" "abc")r",
        R"r(RAWRULE "1,url,raw,find,block""abc")r",
        "RAWRULE \"1,url,raw,find,block\" \"a\rb\"",
        "RAWRULE \"1,url,raw,find,block\" \"a\nb\"",
        R"r(RAWRULE "0,url,raw,find,block" "abc")r",
        R"r(RAWRULE "-3,url,raw,find,block" "abc")r",
        R"r(RAWRULE "x1,url,raw,find,block" "abc")r",
        R"r(RAWRULE ",url,raw,find,block" "abc")r",
        R"r(RAWRULE "2147483648,url,raw,find,block" "abc")r",
        R"r(RAWRULE "4294967297,url,raw,find,block" "abc")r",
        R"r(RAWRULE "99999999999999999999999,url,raw,find,block" "abc")r",
        R"r(RAWRULE "1,url,raw,regex,block" "a(b")r",
        R"r(RAWRULE "1,url,raw,!regex,block" "[z-a]")r",
        "",
        "RAWRULE",
    };
    for (const std::string& line : lines) {
        engine e;
        EXPECT_FALSE(e.addrulestr(line)) << line;
        EXPECT_TRUE(e.rules().empty()) << line;
        EXPECT_EQ(e.matchRules(POS_URL, "abc", false).hit, 0) << line;
    }
}

TEST(RawRuleLine, RulesKeepFileOrderAndDuplicateIdsLoad) {
    engine e;
    ASSERT_TRUE(e.addrulestr(R"r(RAWRULE "9,url,raw,find,log" "a")r"));
    ASSERT_TRUE(e.addrulestr(R"r(RAWRULE "9,url,raw,find,block" "b")r"));
    ASSERT_TRUE(e.addrulestr(R"r(RAWRULE "3,url,raw,regex,block" "c+")r"));
    ASSERT_EQ(e.rules().size(), 3u);
    EXPECT_EQ(e.rules()[1].pat, "b");
    EXPECT_EQ(e.matchRules(POS_URL, "ab", false).hd, HD_LOG);
    EXPECT_EQ(e.matchRules(POS_URL, "b", false).hd, HD_BLOCK);
    EXPECT_EQ(e.matchRules(POS_URL, "ccc", false).id, 3);
}

TEST(RawRuleLine, RefusalsAndLoadsAreTraced) {
    testing::TraceCapture trace;
    engine e;
    const std::string noMatch = R"r(RAWRULE "1,url" "x")r";
    const std::string badId = R"r(RAWRULE "0,url,raw,find,block" "x")r";
    EXPECT_FALSE(e.addrulestr(noMatch));
    EXPECT_FALSE(e.addrulestr(badId));
    EXPECT_TRUE(e.addrulestr(R"r(RAWRULE "12,argpost,normal,regex,log" "a.b")r"));
    const std::string text = trace.text();
    EXPECT_NE(text.find("addrulestr Error(regex match):\n" + noMatch + "\n\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("addrulestr Error - bad id !:\n" + badId + "\n\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("id=12,tar=12,tra=1,cm=1,hd=1,pat=a.b\n"), std::string::npos) << text;
}

// Lines of many megabytes and lines built to make the grammar backtrack
// without end: each is refused (the match limit) and nothing breaks.
TEST(RuleLines, HugeAndBacktrackingLinesAreRefused) {
    const std::string huge(10 << 20, 'a');
    const std::string commas(1 << 20, ',');
    std::string blanks;
    for (int i = 0; i < 200000; ++i) {
        blanks += "a ";
    }
    engine e;
    EXPECT_FALSE(e.addrulestr("RAWRULE \"1,url,raw,find,block\" \"" + huge + "\""));
    EXPECT_FALSE(e.addrulestr("RAWRULE \"" + commas + "\" \"x"));
    EXPECT_FALSE(e.addjiptypestr("JIPTYPE " + blanks + "\"x"));
    EXPECT_FALSE(e.addjiprulestr("JIPRULE 1 " + blanks + "::1-"));
    EXPECT_FALSE(e.addiprangestr("CONNLIMIT " + blanks + huge));
    EXPECT_TRUE(e.rules().empty());
    EXPECT_TRUE(e.constraints().empty());
    EXPECT_TRUE(e.ipRanges().empty());
    // a long but sane pattern still loads
    EXPECT_TRUE(e.addrulestr("RAWRULE \"1,url,raw,find,block\" \"" + huge.substr(0, 8000) + "\""));
}

TEST(JipTypeLine, NameKeepsAllButOneBlankAndPatternRunsToLastQuote) {
    struct Case {
        std::string line;
        std::string name;
        std::string pattern;
    };
    const Case cases[] = {
        {R"r(JIPTYPE num "^[0-9]+$")r", "num", "^[0-9]+$"},
        {R"r(JIPTYPE num   "x")r", "num  ", "x"},
        {R"r(JIPTYPE  two words "a"b")r", "two words", R"r(a"b)r"},
        {R"r(JIPTYPE  "x")r", "", "x"},
        {R"r(JIPTYPE t "")r", "t", ""},
    };
    for (const Case& c : cases) {
        RecordingEngine e;
        const bool added = e.addjiptypestr(c.line);
        ASSERT_EQ(e.typesAdded.size(), 1u) << c.line;
        EXPECT_EQ(e.typesAdded[0].first, c.name) << c.line;
        EXPECT_EQ(e.typesAdded[0].second, c.pattern) << c.line;
        EXPECT_EQ(added, !c.pattern.empty()) << c.line;
    }
}

TEST(JipTypeLine, RefusedLines) {
    const std::string lines[] = {
        R"r(JIPTYPE "x")r",     R"r(JIPTYPE num x)r",  R"r(JIPTYPE num "x" )r",
        R"r(jiptype num "x")r", R"r(JIPTYPEnum "x")r", "JIPTYPE num \"a\nb\"",
    };
    for (const std::string& line : lines) {
        RecordingEngine e;
        EXPECT_FALSE(e.addjiptypestr(line)) << line;
        EXPECT_TRUE(e.typesAdded.empty()) << line;
    }
}

TEST(JipRuleLine, KeyIsTrimmedAndLowerCasedTypeKeptAsWritten) {
    struct Case {
        std::string line;
        std::string key;
        int32_t id;
        std::string type;
        uint32_t minlen, maxlen;
    };
    const Case cases[] = {
        {"JIPRULE 7 Site::80::/A.asp::g::ID num::0-10", "site::80::/a.asp::g::id", 7, "num", 0, 10},
        {"JIPRULE 7   Site::80::/a::G::id \t  Num::1-2", "site::80::/a::g::id", 7, "Num", 1, 2},
        {"JIPRULE 0 my key a::b::3-4", "my key", 0, "a::b", 3, 4},
        {"JIPRULE 007 k ::5-4294967295", "k", 7, "", 5, 4294967295u},
        {"JIPRULE 2147483647 k t::00-01", "k", 2147483647, "t", 0, 1},
    };
    for (const Case& c : cases) {
        engine e;
        ASSERT_TRUE(e.addjiprulestr(c.line)) << c.line;
        ASSERT_EQ(e.constraints().count(c.key), 1u) << c.line;
        const constraint& entry = e.constraints().at(c.key);
        EXPECT_EQ(entry.minlen, c.minlen) << c.line;
        EXPECT_EQ(entry.maxlen, c.maxlen) << c.line;
        ASSERT_EQ(entry.items.size(), 1u) << c.line;
        EXPECT_EQ(entry.items[0].id, c.id) << c.line;
        EXPECT_EQ(entry.items[0].type, c.type) << c.line;
    }
}

TEST(JipRuleLine, SecondLineOfAKeyOverwritesLengthsAndAppendsItsItem) {
    engine e;
    ASSERT_TRUE(e.addjiprulestr("JIPRULE 1 Site::80::/a::g::id num::1-5"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE 2 site::80::/a::g::ID  word::2-9"));
    ASSERT_TRUE(e.addjiprulestr("JIPRULE 3 other::80::/a::g::id num::0-0"));
    ASSERT_EQ(e.constraints().size(), 2u);
    const constraint& entry = e.constraints().at("site::80::/a::g::id");
    EXPECT_EQ(entry.minlen, 2u);
    EXPECT_EQ(entry.maxlen, 9u);
    ASSERT_EQ(entry.items.size(), 2u);
    EXPECT_EQ(entry.items[0].id, 1);
    EXPECT_EQ(entry.items[0].type, "num");
    EXPECT_EQ(entry.items[1].id, 2);
    EXPECT_EQ(entry.items[1].type, "word");
}

TEST(JipRuleLine, RefusedLines) {
    const std::string lines[] = {
        "JIPRULE x7 k num::0-10",
        "JIPRULE 7 k num::a-10",
        "JIPRULE 7 k num::-5-10",
        "JIPRULE 7 k num::0-10 ",
        "JIPRULE 7 k num:0-10",
        "JIPRULE 7 knum::0-10",
        "JIPRULE 2147483648 k num::0-10",
        "JIPRULE 7 k num::4294967296-1",
        "JIPRULE 7 k num::0-99999999999999999999",
        "jiprule 7 k num::0-10",
    };
    for (const std::string& line : lines) {
        testing::TraceCapture trace;
        engine e;
        EXPECT_FALSE(e.addjiprulestr(line)) << line;
        EXPECT_TRUE(e.constraints().empty()) << line;
        EXPECT_NE(trace.text().find("addjiprulestr Error(regex match):\n" + line + "\n"),
                  std::string::npos)
            << line;
    }
}

uint32_t ip(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return (a << 24) | (b << 16) | (c << 8) | d;
}

struct SegmentCase {
    std::string line;
    uint32_t maxconn;
    std::string name;
    std::vector<std::pair<uint32_t, uint32_t>> segments;
};

TEST(ConnLimitLine, FieldsSegmentsAndQuotedNames) {
    const SegmentCase cases[] = {
        {R"r(CONNLIMIT  10  192.168.0.1-192.168.0.9,10.0.0.1-10.0.0.1  "office")r",
         10,
         R"r("office")r",
         {{ip(192, 168, 0, 1), ip(192, 168, 0, 9)}, {ip(10, 0, 0, 1), ip(10, 0, 0, 1)}}},
        {"CONNLIMIT 3 1.2.3.4-1.2.3.5 plain", 3, "plain", {{ip(1, 2, 3, 4), ip(1, 2, 3, 5)}}},
        {R"r(CONNLIMIT  5  1.1.1.1-1.1.1.2  "")r",
         5,
         R"r("")r",
         {{ip(1, 1, 1, 1), ip(1, 1, 1, 2)}}},
        // a blank in the quoted name moves the split: the first word becomes the list
        {R"r(CONNLIMIT  10  1.1.1.1-1.1.1.2  "my office")r", 10, R"r(office")r", {}},
        // single addresses, empty items and unreadable addresses are skipped
        {"CONNLIMIT 4 9.9.9.9,,1.0.0.1-1.0.0.3,1.1.1-1.1.1.5,300.1.1.1-300.1.1.2,a-b n",
         4,
         "n",
         {{ip(1, 0, 0, 1), ip(1, 0, 0, 3)}}},
        // an end below its start costs only that item
        {"CONNLIMIT 4 5.5.5.9-5.5.5.1,6.6.6.1-6.6.6.2 n",
         4,
         "n",
         {{ip(6, 6, 6, 1), ip(6, 6, 6, 2)}}},
        {"CONNLIMIT 4294967295 0.0.0.0-255.255.255.255 all",
         4294967295u,
         "all",
         {{0, ip(255, 255, 255, 255)}}},
        {"CONNLIMIT 7x 2.2.2.2-2.2.2.2 n", 7, "n", {{ip(2, 2, 2, 2), ip(2, 2, 2, 2)}}},
    };
    for (const SegmentCase& c : cases) {
        engine e;
        ASSERT_TRUE(e.addiprangestr(c.line)) << c.line;
        ASSERT_EQ(e.ipRanges().size(), 1u) << c.line;
        const iprange& range = e.ipRanges()[0];
        EXPECT_EQ(range.maxconn, c.maxconn) << c.line;
        EXPECT_EQ(range.connednum, 0u) << c.line;
        EXPECT_EQ(range.name, c.name) << c.line;
        ASSERT_EQ(range.segments.size(), c.segments.size()) << c.line;
        for (size_t i = 0; i < c.segments.size(); ++i) {
            EXPECT_EQ(range.segments[i]._lsip, c.segments[i].first) << c.line << " item " << i;
            EXPECT_EQ(range.segments[i]._leip, c.segments[i].second) << c.line << " item " << i;
        }
    }
}

TEST(ConnLimitLine, RangesKeepFileOrder) {
    engine e;
    ASSERT_TRUE(e.addiprangestr("CONNLIMIT 1 1.1.1.1-1.1.1.1 first"));
    ASSERT_TRUE(e.addiprangestr("CONNLIMIT 2 1.1.1.1-1.1.1.1 second"));
    ASSERT_EQ(e.ipRanges().size(), 2u);
    EXPECT_EQ(e.ipRanges()[0].name, "first");
    EXPECT_EQ(e.ipRanges()[1].name, "second");
}

TEST(ConnLimitLine, RefusedLines) {
    struct Case {
        std::string line;
        const char* reason;
    };
    const Case cases[] = {
        {"CONNLIMIT 10 1.1.1.1-1.1.1.2", "addiprangestr Error(regex match):"},
        {"CONNLIMIT10 1.1.1.1-1.1.1.2 n", "addiprangestr Error(regex match):"},
        {"connlimit 10 1.1.1.1-1.1.1.2 n", "addiprangestr Error(regex match):"},
        {"CONNLIMIT 0 1.1.1.1-1.1.1.2 n", "addiprangestr Error(maxconn=0):"},
        {"CONNLIMIT abc 1.1.1.1-1.1.1.2 n", "addiprangestr Error(maxconn=0):"},
        {"CONNLIMIT -1 1.1.1.1-1.1.1.2 n", "addiprangestr Error(maxconn=0):"},
        {"CONNLIMIT 4294967296 1.1.1.1-1.1.1.2 n", "addiprangestr Error(maxconn=0):"},
    };
    for (const Case& c : cases) {
        testing::TraceCapture trace;
        engine e;
        EXPECT_FALSE(e.addiprangestr(c.line)) << c.line;
        EXPECT_TRUE(e.ipRanges().empty()) << c.line;
        EXPECT_NE(trace.text().find(std::string(c.reason) + "\n" + c.line + "\n"),
                  std::string::npos)
            << c.line << "\n"
            << trace.text();
    }
}

TEST(ConnLimitLine, EndBelowStartIsTraced) {
    testing::TraceCapture trace;
    engine e;
    const std::string line = "CONNLIMIT 4 5.5.5.9-5.5.5.1 n";
    EXPECT_TRUE(e.addiprangestr(line));
    EXPECT_NE(trace.text().find("addiprangestr Error(endip<startip):\n" + line + "\n"),
              std::string::npos)
        << trace.text();
}

TEST(Trim, DropsLeadingAndTrailingWhiteSpaceOnly) {
    const std::pair<std::string, std::string> cases[] = {
        {"  a b  ", "a b"}, {"\t\r\n\v\fx\t", "x"},     {"", ""}, {"   ", ""},
        {"x", "x"},         {"\xA0x\xA0", "\xA0x\xA0"},
    };
    for (const auto& [input, expected] : cases) {
        EXPECT_EQ(trim(input), expected) << "'" << input << "'";
    }
}

} // namespace
} // namespace ostrum
