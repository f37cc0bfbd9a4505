#include "service/tests/filter_fixture.h"
#include "service/tests/memory_object.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

// The attack rules the program folder ships with, checked against a table of
// requests of our own (shipped_rules_cases.txt): attacks of every class the
// rules cover, and ordinary traffic that must pass, false positives found
// while tuning among them.

namespace ostrum {
namespace {

using testing::inboundInfo;
using testing::MemoryObject;

constexpr uint64_t kId = 11;
constexpr const char* kRuleFile = OSTRUM_DIST_DIR "/RAWRULE.dat";
constexpr const char* kCaseFile = OSTRUM_RULE_CASES;
constexpr const char* kBrowserAgent =
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/124.0.0.0 Safari/537.36";
constexpr const char* kBrowserLanguage = "en-US,en;q=0.9";

// A value of one repeated character as long as the largest request the
// service inspects: no rule may run into the match limit on it.
constexpr size_t kLongValue = 1024 * 1024;

struct RuleCase {
    int line = 0;
    std::string expect; // a rule id, or "pass"
    std::string where;
    std::string text;
};

// \xHH and \\ in the table stand for any byte and a backslash.
std::string unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out += char(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

// Lines of expect, where and text separated by tabs; '#' starts a comment.
std::vector<RuleCase> readCases() {
    std::vector<RuleCase> cases;
    std::ifstream in(kCaseFile);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t first = line.find('\t');
        const size_t second = line.find('\t', first + 1);
        if (first == std::string::npos || second == std::string::npos) {
            ADD_FAILURE() << kCaseFile << ":" << number << ": not expect<TAB>where<TAB>text";
            continue;
        }
        cases.push_back({number, line.substr(0, first), line.substr(first + 1, second - first - 1),
                         unescape(line.substr(second + 1))});
    }
    return cases;
}

struct Request {
    std::string line;
    std::string header;
    std::string body;
};

// A browser's request to a shop with the case's text put where it says.
Request requestOf(const RuleCase& c) {
    std::string method = "GET";
    std::string target = "/shop/item.php";
    std::string version = "HTTP/1.1";
    std::map<std::string, std::string> fields = {
        {"Host", "shop.example"}, {"User-Agent", kBrowserAgent}, {"Accept-Language", kBrowserLanguage}};
    Request r;
    if (c.where == "query") {
        target += "?" + c.text;
    } else if (c.where == "body") {
        method = "POST";
        fields["Content-Type"] = "application/x-www-form-urlencoded";
        r.body = c.text;
    } else if (c.where == "path") {
        target = c.text;
    } else if (c.where == "method") {
        method = c.text;
    } else if (c.where == "version") {
        version = c.text;
    } else {
        static const std::map<std::string, std::string> headers = {
            {"cookie", "Cookie"},   {"agent", "User-Agent"},     {"referer", "Referer"},
            {"alan", "Accept-Language"}, {"cip", "client-ip"},   {"proxy", "X-Forwarded-For"}};
        const auto found = headers.find(c.where);
        EXPECT_NE(found, headers.end()) << kCaseFile << ":" << c.line << ": where " << c.where;
        if (found != headers.end()) {
            fields[found->second] = c.text;
        }
    }
    r.line = method + " " + target + " " + version + "\r\n";
    for (const auto& [name, value] : fields) {
        r.header += name + ": " + value + "\r\n";
    }
    r.header += "\r\n";
    return r;
}

// The rule of an attack record: its seventh blank-separated field.
std::string ruleOf(const std::string& record) {
    std::istringstream fields(record);
    std::string field;
    for (int i = 0; i < 7 && fields >> field; ++i) {
    }
    return field;
}

class ShippedRules : public testing::FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        ASSERT_EQ(filter.loadRuleFile(kRuleFile), 0) << kRuleFile;
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1", 40000);
        filter.tcpConnected(kId, &info);
    }

    // The rule that catches the request, or "pass".
    std::string verdict(const RuleCase& c) {
        filter.attackRecords.clear();
        const Request r = requestOf(c);
        MemoryObject object = MemoryObject::request(r.line, r.header, r.body);
        filter.dataAvailable(kId, &object);
        return filter.attackRecords.empty() ? "pass" : ruleOf(filter.attackRecords.front());
    }
};

// The lines of a file that begin with the prefix, the prefix taken off.
std::vector<std::string> linesOf(const std::string& file, const std::string& prefix) {
    std::ifstream in(file);
    std::vector<std::string> found;
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(prefix, 0) == 0) {
            found.push_back(line.substr(prefix.size()));
        }
    }
    return found;
}

size_t rawRuleLines() {
    return linesOf(kRuleFile, "RAWRULE").size();
}

TEST_F(ShippedRules, EveryLineOfTheFileLoads) {
    EXPECT_EQ(filter.rules().rules().size(), rawRuleLines());
    std::set<int32_t> ids;
    for (const rulenode& rule : filter.rules().rules()) {
        EXPECT_TRUE(ids.insert(rule.id).second) << "two rules with the id " << rule.id;
    }
}

TEST_F(ShippedRules, TheOtherFilesAndTheirCommentedExamplesLoad) {
    const std::string dist = OSTRUM_DIST_DIR "/";
    ASSERT_EQ(filter.loadRuleFile(dist + "JIPRULE.dat"), 0);
    EXPECT_EQ(filter.rules().safestrTypes().size(), linesOf(dist + "JIPRULE.dat", "JIPTYPE").size());
    for (const std::string& example : linesOf(dist + "JIPRULE.dat", "# JIPRULE")) {
        EXPECT_TRUE(filter.rules().addjiprulestr("JIPRULE" + example)) << example;
    }
    for (const std::string& example : linesOf(dist + "iprange.dat", "# CONNLIMIT")) {
        EXPECT_TRUE(filter.rules().addiprangestr("CONNLIMIT" + example)) << example;
        EXPECT_FALSE(filter.rules().ipRanges().back().segments.empty()) << example;
    }
    std::string lists;
    for (const char* kind : {"# WL_", "# BL_"}) {
        for (const std::string& example : linesOf(dist + "wblist.dat", kind)) {
            lists += std::string(kind + 2) + example + "\n";
        }
    }
    ASSERT_FALSE(lists.empty());
    writeLists(lists);
    EXPECT_EQ(filter.listEntries().size(), size_t(std::count(lists.begin(), lists.end(), '\n')));
    EXPECT_TRUE(runLog().empty());
}

TEST_F(ShippedRules, TableCasesGetTheirVerdict) {
    const std::vector<RuleCase> cases = readCases();
    ASSERT_GT(cases.size(), 300u);
    for (const RuleCase& c : cases) {
        const std::string want = c.expect == "pass" ? "pass" : "AR:" + c.expect;
        EXPECT_EQ(verdict(c), want) << kCaseFile << ":" << c.line << " (" << c.where << ") "
                                    << c.text;
    }
}

// The table's texts as the fields of forms, queries and cookies, some of
// them empty: in a list each text gets the rule it gets alone.
TEST_F(ShippedRules, TextsInListsGetTheirVerdictAlone) {
    const std::vector<RuleCase> cases = readCases();
    constexpr size_t kFields = 7;
    std::vector<rulematch> got;
    for (size_t first = 0; first < cases.size(); first += kFields - 2) {
        PairList fields;
        for (size_t i = first; i < cases.size() && i < first + kFields; ++i) {
            fields.add("f", i % 5 == 4 ? std::string_view() : fields.keep(cases[i].text));
        }
        for (const int32_t position : {POS_ARGPOST, POS_ARGGET, POS_COOKIE, POS_URL, POS_AGENT}) {
            filter.rules().matchRulesList(position, fields, true, got);
            ASSERT_EQ(got.size(), fields.size());
            for (size_t i = 0; i < fields.size(); ++i) {
                const rulematch alone =
                    filter.rules().matchRulesOneByOne(position, fields[i].second, true);
                EXPECT_EQ(got[i].hit != 0 ? got[i].id : 0, alone.hit != 0 ? alone.id : 0)
                    << kCaseFile << ":" << cases[first + i].line << " at " << position;
            }
        }
    }
}

TEST_F(ShippedRules, EveryRuleHasAnAttackCase) {
    std::set<std::string> expected;
    for (const RuleCase& c : readCases()) {
        expected.insert(c.expect);
    }
    for (const rulenode& rule : filter.rules().rules()) {
        EXPECT_TRUE(expected.count(std::to_string(rule.id))) << "no case for rule " << rule.id;
    }
}

TEST_F(ShippedRules, NoRuleRunsIntoTheMatchLimitOnLongRepeats) {
    static constexpr char kRepeated[] = "a A0 .<>'\"`;|&$%{}()[]/\\=*#!?@:,-+_~\r\n\t\x00\xc0\xe2";
    for (const char c : std::string(kRepeated, sizeof(kRepeated) - 1)) {
        const std::string value(kLongValue, c);
        for (const rulenode& rule : filter.rules().rules()) {
            if (rule.compiled == nullptr) {
                continue;
            }
            EXPECT_NE(rule.compiled->match(value), MatchResult::LimitExceeded)
                << "rule " << rule.id << " on 1 MiB of character " << int(uint8_t(c));
        }
    }
}

} // namespace
} // namespace ostrum
