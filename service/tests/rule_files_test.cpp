#include "platform/debug.h"
#include "service/http_filter.h"
#include "service/tests/temp_folder.h"
#include "service/tests/trace_capture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using namespace std::string_literals;
using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

using testing::TraceCapture;

// The run log's refusal messages, without their date and time.
std::vector<std::string> refusals() {
    std::vector<std::string> found;
    const std::string log = readFile("log/ostrum.log");
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find("\r\n", start);
        end = end == std::string::npos ? log.size() : end;
        const std::string line = log.substr(start, end - start);
        const size_t message = line.find("load ");
        if (message != std::string::npos && line.find(" faild ! ") != std::string::npos) {
            found.push_back(line.substr(message));
        }
        start = end + 2;
    }
    return found;
}

std::string joinLines(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line + "\n";
    }
    return text;
}

std::vector<int32_t> ruleIds(const engine& rules) {
    std::vector<int32_t> ids;
    for (const rulenode& rule : rules.rules()) {
        ids.push_back(rule.id);
    }
    return ids;
}

bool hasSafestrType(const engine& rules, const std::string& name) {
    const auto& types = rules.safestrTypes();
    return std::any_of(types.begin(), types.end(),
                       [&name](const typenode& type) { return type.name == name; });
}

constexpr uint32_t ipv4(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
    return a << 24 | b << 16 | c << 8 | d;
}

class RuleFilesTest : public ::testing::Test {
protected:
    TempFolder m_folder;
    HttpFilter m_filter;
};

TEST_F(RuleFilesTest, MissingFilesAreTracedAndAnswerMinusOne) {
    TraceCapture trace;
    EXPECT_EQ(m_filter.loadRuleFile(std::string("RAWRULE.dat")), -1);
    EXPECT_EQ(m_filter.loadRuleFile("JIPRULE.dat"), -1);
    EXPECT_EQ(m_filter.loadRuleFile(static_cast<const char*>(nullptr)), -1);
    EXPECT_EQ(m_filter.loadIpRange(), -1);
    const std::string text = trace.text();
    EXPECT_NE(text.find("Failed to open RAWRULE.dat !\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Failed to open JIPRULE.dat !\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Failed to open iprange.dat !\n"), std::string::npos) << text;
}

TEST_F(RuleFilesTest, AttackRuleLinesLoadOrAreRefused) {
    const std::string trailing = R"(RAWRULE "4,url,raw,find,block" "x" trailing)";
    const std::string zeroId = R"(RAWRULE "0,url,raw,find,block" "zero")";
    const std::string negativeId = R"(RAWRULE "-5,url,raw,find,block" "neg")";
    const std::string emptyPattern = R"(RAWRULE "7,url,raw,find,block" "")";
    const std::string badRegex = R"(RAWRULE "8,url,raw,regex,block" "(unclosed")";
    writeFile("RAWRULE.dat", joinLines({
                                 R"(# RAWRULE "9,url,raw,find,block" "comment")",
                                 R"(RULEDESC "RAWRULE remark")",
                                 R"(RAWRULE "1,url,raw,find,block" "select")",
                                 R"(rawrule "2,url,raw,find,block" "lower")",
                                 R"( RAWRULE "3,url,raw,find,block" "blank")",
                                 trailing,
                                 zeroId,
                                 negativeId,
                                 R"(RAWRULE "6,url,raw,find,block" "first")",
                                 R"(RAWRULE "6,cookie,normal,regex,log" "second")",
                                 emptyPattern,
                                 badRegex,
                             }));
    EXPECT_EQ(m_filter.loadRuleFile("RAWRULE.dat"), 0);

    const engine& rules = m_filter.rules();
    EXPECT_EQ(ruleIds(rules), (std::vector<int32_t>{1, 6, 6}));
    ASSERT_EQ(rules.rules().size(), 3u);
    EXPECT_EQ(rules.rules()[0].pat, "select");
    EXPECT_EQ(rules.rules()[0].tar, POS_URL);
    EXPECT_EQ(rules.rules()[2].pat, "second");
    EXPECT_EQ(rules.rules()[2].hd, HD_LOG);

    const std::string refused = "load rule faild ! ";
    EXPECT_EQ(refusals(),
              (std::vector<std::string>{refused + trailing, refused + zeroId, refused + negativeId,
                                        refused + emptyPattern, refused + badRegex}));
}

TEST_F(RuleFilesTest, ShortLinesAreSkippedOrIgnored) {
    TraceCapture trace;
    writeFile("RAWRULE.dat", joinLines({"ab", "abc", "RAWRULE", "RAWRULEx", "#RAWRULEx",
                                        "RULEDESCx", "JIPTYPEx", "OTHERLINE"}));
    EXPECT_EQ(m_filter.loadRuleFile("RAWRULE.dat"), 0);

    const std::string text = trace.text();
    for (const char* traced : {"abc", "RAWRULE", "RAWRULEx", "JIPTYPEx", "OTHERLINE"}) {
        EXPECT_NE(text.find("read RAWRULE.dat line: "s + traced + "\n"), std::string::npos)
            << traced << " in\n"
            << text;
    }
    for (const char* skipped : {"ab\n", "#RAWRULEx", "RULEDESCx"}) {
        EXPECT_EQ(text.find("read RAWRULE.dat line: "s + skipped), std::string::npos)
            << skipped << " in\n"
            << text;
    }
    EXPECT_EQ(refusals(), (std::vector<std::string>{"load rule faild ! RAWRULEx",
                                                    "load jiptype faild ! JIPTYPEx"}));
}

TEST_F(RuleFilesTest, EveryRuleKindLoadsFromEitherRuleFile) {
    writeFile("RAWRULE.dat", joinLines({
                                 R"(JIPTYPE rawtype "^[a-z]+$")",
                                 "JIPRULE 20 site::80::/raw.asp::g::id rawtype::1-9",
                             }));
    writeFile("JIPRULE.dat", joinLines({
                                 R"(RAWRULE "5,arg,raw,find,block" "union")",
                                 R"(JIPTYPE jiptype "^[0-9]+$")",
                                 "JIPRULE 21 site::80::/jip.asp::p::no jiptype::0-4",
                             }));
    EXPECT_EQ(m_filter.loadRuleFile("RAWRULE.dat"), 0);
    EXPECT_EQ(m_filter.loadRuleFile("JIPRULE.dat"), 0);

    const engine& rules = m_filter.rules();
    EXPECT_EQ(ruleIds(rules), (std::vector<int32_t>{5}));
    EXPECT_TRUE(hasSafestrType(rules, "rawtype"));
    EXPECT_TRUE(hasSafestrType(rules, "jiptype"));
    EXPECT_EQ(rules.constraints().count("site::80::/raw.asp::g::id"), 1u);
    EXPECT_EQ(rules.constraints().count("site::80::/jip.asp::p::no"), 1u);
    EXPECT_TRUE(refusals().empty());
}

TEST_F(RuleFilesTest, PatchRuleLines) {
    const std::string letterId = "JIPRULE x1 site::80::/c.asp::g::y num::0-10";
    const std::string letterMin = "JIPRULE 12 site::80::/d.asp::g::y num::a-10";
    const std::string emptyType = R"(JIPTYPE emptytype "")";
    writeFile("JIPRULE.dat", joinLines({
                                 "JIPRULE 9 Site::80::/A.asp::g::ID num::0-10",
                                 "JIPRULE 10 site::80::/b.asp::p::x num::1-5",
                                 "JIPRULE 11 site::80::/b.asp::p::x Mixed::2-8",
                                 letterId,
                                 letterMin,
                                 emptyType,
                             }));
    EXPECT_EQ(m_filter.loadRuleFile("JIPRULE.dat"), 0);

    const auto& constraints = m_filter.rules().constraints();
    EXPECT_EQ(constraints.size(), 2u);
    const auto single = constraints.find("site::80::/a.asp::g::id");
    ASSERT_NE(single, constraints.end());
    EXPECT_EQ(single->second.minlen, 0u);
    EXPECT_EQ(single->second.maxlen, 10u);
    ASSERT_EQ(single->second.items.size(), 1u);
    EXPECT_EQ(single->second.items[0].id, 9);
    EXPECT_EQ(single->second.items[0].type, "num");

    const auto twice = constraints.find("site::80::/b.asp::p::x");
    ASSERT_NE(twice, constraints.end());
    EXPECT_EQ(twice->second.minlen, 2u);
    EXPECT_EQ(twice->second.maxlen, 8u);
    ASSERT_EQ(twice->second.items.size(), 2u);
    EXPECT_EQ(twice->second.items[0].type, "num");
    EXPECT_EQ(twice->second.items[1].id, 11);
    EXPECT_EQ(twice->second.items[1].type, "Mixed");

    EXPECT_FALSE(hasSafestrType(m_filter.rules(), "emptytype"));
    EXPECT_EQ(refusals(), (std::vector<std::string>{"load jiprule faild ! " + letterId,
                                                    "load jiprule faild ! " + letterMin,
                                                    "load jiptype faild ! " + emptyType}));
}

TEST_F(RuleFilesTest, ConnectionLimitLines) {
    const std::string zero = R"(CONNLIMIT  0  1.1.1.1-1.1.1.2  "zero")";
    writeFile("iprange.dat",
              joinLines({
                  R"(# CONNLIMIT  5  1.1.1.1-1.1.1.9  "comment")",
                  R"(CONNLIMIT  10  192.168.0.1-192.168.0.9,10.0.0.1-10.0.0.5  "office")",
                  R"(CONNLIMIT  3  1.2.3.4-1.2.3.9  "two words")",
                  R"(CONNLIMIT  4  1.2.3.4,5.6.7.1-5.6.7.9  "nodash")",
                  R"(CONNLIMIT  5  9.9.9.9-9.9.9.1,8.8.8.1-8.8.8.2  "reversed")",
                  R"(CONNLIMIT  6  1.1.1.1-1.1.1.2  "")",
                  "CONNLIMIT ",
                  "CONNLIMIT5",
                  R"(  CONNLIMIT  7  1.1.1.1-1.1.1.2  "indented")",
                  zero,
              }));
    EXPECT_EQ(m_filter.loadIpRange(), 0);

    const auto& ranges = m_filter.rules().ipRanges();
    ASSERT_EQ(ranges.size(), 5u);
    const iprange& office = ranges[0];
    EXPECT_EQ(office.maxconn, 10u);
    EXPECT_EQ(office.connednum, 0u);
    EXPECT_EQ(office.name, "\"office\"");
    ASSERT_EQ(office.segments.size(), 2u);
    EXPECT_EQ(office.segments[0]._lsip, ipv4(192, 168, 0, 1));
    EXPECT_EQ(office.segments[0]._leip, ipv4(192, 168, 0, 9));
    EXPECT_EQ(office.segments[1]._lsip, ipv4(10, 0, 0, 1));
    EXPECT_EQ(office.segments[1]._leip, ipv4(10, 0, 0, 5));
    EXPECT_EQ(office.minip, ipv4(10, 0, 0, 1));
    EXPECT_EQ(office.maxip, ipv4(192, 168, 0, 9));

    EXPECT_EQ(ranges[1].maxconn, 3u);
    EXPECT_TRUE(ranges[1].segments.empty());

    EXPECT_EQ(ranges[2].maxconn, 4u);
    ASSERT_EQ(ranges[2].segments.size(), 1u);
    EXPECT_EQ(ranges[2].segments[0]._lsip, ipv4(5, 6, 7, 1));

    EXPECT_EQ(ranges[3].maxconn, 5u);
    ASSERT_EQ(ranges[3].segments.size(), 1u);
    EXPECT_EQ(ranges[3].segments[0]._leip, ipv4(8, 8, 8, 2));

    EXPECT_EQ(ranges[4].maxconn, 6u);
    EXPECT_EQ(ranges[4].name, "\"\"");

    EXPECT_EQ(refusals(), (std::vector<std::string>{"load iprange faild ! " + zero}));
}

// Bytes of every value but CR and LF, so that the regular expressions see
// one long line, with quotes, commas and blanks often.
std::string hostileBytes(size_t size, uint32_t seed) {
    static constexpr char kFavoured[] = {'"', ',', ' ', '-', '\0', '='};
    std::string bytes(size, 'x');
    for (char& byte : bytes) {
        seed = seed * 1664525u + 1013904223u;
        const uint32_t pick = seed >> 24;
        byte = pick < 64 ? kFavoured[pick % sizeof kFavoured] : static_cast<char>(seed >> 16);
        byte = byte == '\n' || byte == '\r' ? 'n' : byte;
    }
    return bytes;
}

// A refused line lands in the run log cut short, and the trace stays in
// bounded lines.
void expectShortLogAndTrace(const std::string& trace) {
    const std::string log = readFile("log/ostrum.log");
    EXPECT_LT(log.size(), 16u * 1024u);
    size_t start = 0;
    while (start < trace.size()) {
        size_t end = trace.find('\n', start);
        end = end == std::string::npos ? trace.size() : end;
        EXPECT_LE(end - start, 512u);
        start = end + 1;
    }
}

TEST_F(RuleFilesTest, HostileRuleFileCostsOnlyItsBadLines) {
    TraceCapture trace;
    const std::string huge =
        R"(RAWRULE "1,url,raw,find,block" ")" + hostileBytes(10 << 20, 1) + R"(" x)";
    writeFile("RAWRULE.dat", huge + "\n" + hostileBytes(4096, 2) + "\n" +
                                 R"(RAWRULE "2,url,raw,find,block" "a)"s + '\0' + "b\"\n" +
                                 "RAWRULE \"3,url,raw,find,block\" \"\xFF\xFE\x80\"\n" +
                                 R"(RAWRULE "4,url,raw,regex,block" "^x$")");
    EXPECT_EQ(m_filter.loadRuleFile("RAWRULE.dat"), 0);

    const auto& rules = m_filter.rules().rules();
    EXPECT_EQ(ruleIds(m_filter.rules()), (std::vector<int32_t>{2, 3, 4}));
    ASSERT_EQ(rules.size(), 3u);
    EXPECT_EQ(rules[0].pat, "a\0b"s);
    EXPECT_EQ(rules[1].pat, "\xFF\xFE\x80");

    const std::vector<std::string> refused = refusals();
    ASSERT_FALSE(refused.empty());
    const std::string message = "load rule faild ! ";
    EXPECT_TRUE(refused[0].starts_with(message + huge.substr(0, 40))) << refused[0];
    EXPECT_LE(refused[0].size(), message.size() + 4096);
    expectShortLogAndTrace(trace.text());
}

TEST_F(RuleFilesTest, HostileRangeFileCostsOnlyItsBadLines) {
    TraceCapture trace;
    writeFile("iprange.dat", R"(CONNLIMIT  1  )" + hostileBytes(10 << 20, 3) + "\n" +
                                 hostileBytes(4096, 4) + "\n" + "CONNLIMIT" + '\0' +
                                 "  2  1.1.1.1-1.1.1.2  \"nul\"\n" +
                                 R"(CONNLIMIT  7  1.1.1.1-1.1.1.2  "last")");
    EXPECT_EQ(m_filter.loadIpRange(), 0);

    const auto& ranges = m_filter.rules().ipRanges();
    ASSERT_FALSE(ranges.empty());
    EXPECT_EQ(ranges.back().maxconn, 7u);
    EXPECT_EQ(ranges.back().name, "\"last\"");
    expectShortLogAndTrace(trace.text());
}

} // namespace
} // namespace ostrum
