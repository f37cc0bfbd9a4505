#include "service/request_values.h"
#include "service/tests/filter_fixture.h"
#include "service/tests/memory_object.h"
#include "service/tests/trace_capture.h"

#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using ProtocolFilters::DPCR_BLOCK;
using ProtocolFilters::DPCR_BYPASS;
using ProtocolFilters::DPCR_FILTER;
using ProtocolFilters::HS_CONTENT;
using ProtocolFilters::HS_HEADER;
using ProtocolFilters::HS_REQUEST_LINE;
using testing::inboundInfo;
using testing::LyingStream;
using testing::MemoryObject;

constexpr uint64_t kId = 7;
constexpr const char* kAttackLog = "log/attack2026-01-02.log";
constexpr const char* kDetailLog = "log/detail2026-01-02.log";

// The blank-separated fields of an attack record (which begins with a blank).
std::vector<std::string> fieldsOf(const std::string& record) {
    std::vector<std::string> fields;
    size_t start = 1;
    while (start <= record.size()) {
        const size_t blank = std::min(record.find(' ', start), record.size());
        fields.push_back(record.substr(start, blank - start));
        start = blank + 1;
    }
    return fields;
}

// Field 5 is the position label, 6 the rule, 7 the action.
constexpr size_t kLabel = 5;
constexpr size_t kRule = 6;
constexpr size_t kAction = 7;

// A string literal with its zero bytes.
template <size_t N> std::string bytes(const char (&text)[N]) {
    return std::string(text, N - 1);
}

std::string printable(std::string_view text) {
    std::string out;
    for (const char c : text.substr(0, 80)) {
        out += (c == '\r')   ? std::string("\\r")
               : (c == '\n') ? std::string("\\n")
                             : std::string(1, c);
    }
    return out;
}

class RequestInspection : public testing::FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1", 40000);
        filter.tcpConnected(kId, &info);
        fakenet::reset();
    }

    void rule(const std::string& line) { ASSERT_TRUE(filter.rules().addrulestr(line)) << line; }
    void patchRule(const std::string& line) {
        ASSERT_TRUE(filter.rules().addjiprulestr(line)) << line;
    }

    void send(std::string_view line, std::string_view header = {}, std::string_view body = {}) {
        MemoryObject object = MemoryObject::request(line, header, body);
        filter.dataAvailable(kId, &object);
    }

    int part(std::string_view line, std::string_view header = {}, std::string_view body = {}) {
        MemoryObject object = MemoryObject::request(line, header, body);
        return filter.dataPartAvailable(kId, &object);
    }

    const std::vector<std::string>& records() const { return filter.attackRecords; }
    const fakenet::Calls& calls() const { return fakenet::calls(); }
};

struct SplitCase {
    std::string line;
    RequestLine expected;
};

TEST(RequestLineSplit, TakesMethodTargetQueryAndVersion) {
    const SplitCase cases[] = {
        {"GET /a/b.ASP?x=1 HTTP/1.1\r\n", {"GET", "/a/b.asp", "x=1", "1.1", "asp"}},
        {"GET /a%2Ephp HTTP/1.1\r\n", {"GET", "/a.php", "", "1.1", "php"}},
        {"GET /abc HTTP/1.0\r\n", {"GET", "/abc", "", "1.0", ""}},
        {"GET /a.b/c HTTP/1.1\r\n", {"GET", "/a.b/c", "", "1.1", "b/c"}},
        {"GET /end. HTTP/1.1\r\n", {"GET", "/end.", "", "1.1", ""}},
        {"GET /? HTTP/1.1\r\n", {"GET", "/", "", "1.1", ""}},
        {"GET /a?x=1&y=2?z HTTP/1.1\r\n", {"GET", "/a", "x=1&y=2?z", "1.1", ""}},
        {"POST /f HTTP/1.1\r\n", {"POST", "/f", "", "1.1", ""}},
        // The version part is always the last nine characters.
        {"GET /abc XY\r\n", {"GET", "", "", "", ""}},
        {"GET /abcdef X\r\n", {"GET", "", "", "f X", ""}},
        {"GET /abcdefg X\r\n", {"GET", "/", "", "g X", ""}},
        {"GET /a?x=1\r\n", {"GET", "/a", "", "", ""}},
        // Failure cases: no blank, no CR LF, nothing.
        {"GARBAGE\r\n", {}},
        {"GET /x HTTP/1.1", {"GET", "", "", "", ""}},
        {"GET /x HTTP/1.1\n", {"GET", "", "", "", ""}},
        {"", {}},
        {" / HTTP/1.1\r\n", {"", "/", "", "1.1", ""}},
        // A '?' after the line end belongs to no target.
        {"GET /abc HTTP/1.1\r\nHost: a?b", {"GET", "/abc", "", "1.1", ""}},
        {"GET /%41%3f HTTP/1.1\r\n", {"GET", "/a?", "", "1.1", ""}},
        {bytes("G\0T /\xff\x01 HTTP/1.1\r\n"), {bytes("G\0T"), "/\xff\x01", "", "1.1", ""}},
    };
    for (const SplitCase& c : cases) {
        RequestLine parts;
        splitRequestLine(c.line, parts);
        EXPECT_EQ(parts.method, c.expected.method) << printable(c.line);
        EXPECT_EQ(parts.url, c.expected.url) << printable(c.line);
        EXPECT_EQ(parts.querystring, c.expected.querystring) << printable(c.line);
        EXPECT_EQ(parts.httpver, c.expected.httpver) << printable(c.line);
        EXPECT_EQ(parts.ext, c.expected.ext) << printable(c.line);
    }
}

TEST(RequestLineSplit, HugeLinesStayWithinTheLine) {
    const std::string target(1 << 20, 'a');
    for (const std::string& line :
         {"GET /" + target + " HTTP/1.1\r\n", "GET /" + target, "GET /?" + target + " HTTP/1.1\r\n",
          std::string(1 << 20, ' '), std::string(1 << 20, '?') + "\r\n"}) {
        RequestLine parts;
        splitRequestLine(line, parts);
        EXPECT_LE(parts.method.size() + parts.url.size() + parts.querystring.size(), line.size());
        EXPECT_LE(parts.httpver.size(), 3u);
    }
}

TEST(StreamReading, BelievesNeitherTheClaimedSizeNorTheLimit) {
    LyingStream lying(std::numeric_limits<uint64_t>::max());
    std::string out = "old";
    EXPECT_TRUE(readStream(&lying, out));
    EXPECT_TRUE(out.empty());
    testing::MemoryStream stream(std::string(100, 'x'));
    EXPECT_TRUE(readStream(&stream, out, 10));
    EXPECT_EQ(out, std::string(10, 'x'));
    EXPECT_TRUE(readStream(&stream, out));
    EXPECT_EQ(out.size(), 100u) << "read again from the start";
    EXPECT_FALSE(readStream(nullptr, out));
    EXPECT_EQ(saturatingAdd(std::numeric_limits<uint64_t>::max(), 2),
              std::numeric_limits<uint64_t>::max());
    EXPECT_EQ(saturatingAdd(3, 4), 7u);
}

TEST_F(RequestInspection, PartialRequestsListChecks) {
    struct Case {
        const char* lists;
        const char* mode;
        const char* line;
        const char* header;
        int expected;
        const char* logLine;
    };
    const Case cases[] = {
        {"WL_URL \"/pub\"\n", "run_mod=1", "GET /pub/x HTTP/1.1\r\n", "", DPCR_BYPASS, nullptr},
        {"BL_URL \"/admin\"\n", "run_mod=1", "GET /Admin/x HTTP/1.1\r\n", "", DPCR_BLOCK,
         "10.0.0.1 /admin/x in BL_URL,block on dataPartAvailable!"},
        {"BL_URL \"/admin\"\n", "run_mod=2", "GET /admin HTTP/1.1\r\n", "", DPCR_FILTER, nullptr},
        {"WL_EXT \"jpg\"\n", "run_mod=1", "GET /a%2EJPG HTTP/1.1\r\n", "", DPCR_BYPASS, nullptr},
        {"WL_EXT \"jpg\"\n", "run_mod=1", "GET /jpg HTTP/1.1\r\n", "", DPCR_FILTER, nullptr},
        {"BL_EXT \"exe\"\n", "run_mod=1", "GET /a.exe HTTP/1.1\r\n", "", DPCR_BLOCK,
         "10.0.0.1 exe in BL_EXT,block on dataPartAvailable!"},
        {"WL_HOST \"trusted.com\"\n", "run_mod=1", "GET / HTTP/1.1\r\n",
         "Host: Trusted.COM\r\n\r\n", DPCR_BYPASS, nullptr},
        {"BL_HOST \"bad.com\"\n", "run_mod=1", "GET / HTTP/1.1\r\n", "Host: bad.com\r\n\r\n",
         DPCR_BLOCK, "10.0.0.1 bad.com in BL_HOST,block on dataPartAvailable!"},
        {"BL_HOST \"bad.com\"\n", "run_mod=1", "GET / HTTP/1.1\r\n", "\x01\x02garbage", DPCR_FILTER,
         nullptr},
        {"", "run_mod=1", "GET / HTTP/1.1\r\n", "Host: a\r\n\r\n", DPCR_FILTER, nullptr},
    };
    for (const Case& c : cases) {
        testing::TempFolder caseFolder;
        fakenet::reset();
        testing::TableFilter partial;
        partial.settings().parseline(c.mode);
        testing::writeFile("wblist.dat", c.lists);
        ASSERT_EQ(partial.loadWbList(), 0);
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1");
        partial.tcpConnected(kId, &info);
        MemoryObject object = MemoryObject::request(c.line, c.header);
        EXPECT_EQ(partial.dataPartAvailable(kId, &object), c.expected) << c.lists << c.line;
        EXPECT_EQ(fakenet::calls().closed.size(), c.expected == DPCR_BLOCK ? 1u : 0u) << c.line;
        const std::vector<std::string> log = testing::logTexts("log/ostrum.log");
        if (c.logLine != nullptr) {
            EXPECT_EQ(log, (std::vector<std::string>{c.logLine})) << c.line;
        } else {
            EXPECT_TRUE(log.empty()) << c.line;
        }
    }
}

TEST_F(RequestInspection, PartialRequestWithoutConnectionRecordNamesNoClient) {
    apply({"run_mod=1"});
    writeLists("BL_URL \"/admin\"\n");
    MemoryObject object = MemoryObject::request("GET /admin HTTP/1.1\r\n");
    EXPECT_EQ(filter.dataPartAvailable(99, &object), DPCR_BLOCK);
    EXPECT_EQ(runLog(),
              (std::vector<std::string>{" /admin in BL_URL,block on dataPartAvailable!"}));
}

TEST_F(RequestInspection, HoldsUpToOneMebibyteInAll) {
    const std::string line = "POST /f HTTP/1.1\r\n";
    const std::string header = "Host: a\r\n\r\n";
    const size_t bodySize = kHeldRequestMax - line.size() - header.size();
    EXPECT_EQ(part(line, header, std::string(bodySize, 'b')), DPCR_FILTER);
    EXPECT_EQ(part(line, header, std::string(bodySize + 1, 'b')), DPCR_BYPASS);
    EXPECT_EQ(part(line + std::string(kHeldRequestMax, 'x')), DPCR_BYPASS);

    for (const int lyingIndex : {HS_REQUEST_LINE, HS_HEADER, HS_CONTENT}) {
        MemoryObject object = MemoryObject::request(line, header, "a=1");
        object.setStream(lyingIndex,
                         std::make_shared<LyingStream>(std::numeric_limits<uint64_t>::max()));
        EXPECT_EQ(filter.dataPartAvailable(kId, &object), DPCR_BYPASS) << lyingIndex;
    }
    MemoryObject empty;
    EXPECT_EQ(filter.dataPartAvailable(kId, &empty), DPCR_FILTER);
    EXPECT_EQ(filter.dataPartAvailable(kId, nullptr), DPCR_BYPASS);
}

TEST_F(RequestInspection, AttackRecordInTheAttackLogByteForByte) {
    rule(R"(RAWRULE "5,argget,normal,find,log" "<script")");
    send("GET /Shop/Item.ASP?q=%3Cscript%3E HTTP/1.1\r\n", "Host: www.site.com\r\n\r\n");
    EXPECT_EQ(testing::readFile(kAttackLog),
              "#Ostrum attack log\r\n"
              "#Version: 1.0\r\n"
              "#Fields: date time cip dip dport host method pos rid action url\r\n"
              "\r\n"
              "2026-01-02 12:00:00  10.0.0.1 192.168.1.2 80 www.site.com GET arg_get AR:5 log "
              "/shop/item.asp\r\n");
    EXPECT_EQ(calls().posted, (std::vector<uint64_t>{kId}));
}

TEST_F(RequestInspection, DetailRecordByteForByte) {
    const std::string header = "Host: a\r\nContent-Length: 3\r\n\r\n";
    send("POST /f?x=1 HTTP/1.1\r\n", header, "a=1");
    ASSERT_EQ(filter.detailRecords.size(), 1u);
    EXPECT_EQ(filter.detailRecords[0], "clientip=10.0.0.1 serverip=192.168.1.2 serverport=80\n"
                                       "POST /f?x=1 HTTP/1.1\r\n" +
                                           header + "\n\n\na=1\n");
    EXPECT_EQ(testing::readFile(kDetailLog),
              "#Ostrum detial log\r\n#Version: 1.0\r\n#Date: 2026-01-02\r\n\r\n"
              "2026-01-02 12:00:00 clientip=10.0.0.1 serverip=192.168.1.2 serverport=80\r\n"
              "POST /f?x=1 HTTP/1.1\r\n"
              "Host: a\r\nContent-Length: 3\r\n\r\n\r\n"
              "\r\n\r\na=1\r\n"
              "\r\n");
}

TEST_F(RequestInspection, DetailRecordTakesAtMostAKibibyteOfHeaderAndBody) {
    const std::string header = "Host: a\r\nX-Pad: " + std::string(3000, 'h') + "\r\n\r\n";
    const std::string body = "a=" + std::string(3000, 'b');
    send("POST /f HTTP/1.1\r\n", header, body);
    send("GET /g HTTP/1.1\r\n");
    send("GET /h HTTP/1.1\r\n", "Host: a\r\n\r\n");
    ASSERT_EQ(filter.detailRecords.size(), 3u);
    const std::string first = "clientip=10.0.0.1 serverip=192.168.1.2 serverport=80\n";
    EXPECT_EQ(filter.detailRecords[0], first + "POST /f HTTP/1.1\r\n" + header.substr(0, 1024) +
                                           "\n\n\n" + body.substr(0, 1024) + "\n");
    EXPECT_EQ(filter.detailRecords[1], first + "GET /g HTTP/1.1\r\n");
    EXPECT_EQ(filter.detailRecords[2], first + "GET /h HTTP/1.1\r\nHost: a\r\n\r\n\n");
}

TEST_F(RequestInspection, DetailLogOffWritesNoRecord) {
    apply({"write_detaillog=0"});
    send("GET / HTTP/1.1\r\n", "Host: a\r\n\r\n");
    EXPECT_TRUE(filter.detailRecords.empty());
    EXPECT_EQ(calls().posted.size(), 1u);
}

TEST_F(RequestInspection, EachPositionHasItsLabel) {
    struct Case {
        const char* target;
        const char* line;
        const char* header;
        const char* body;
        const char* label;
    };
    const Case cases[] = {
        {"cookie", "GET / HTTP/1.1\r\n", "Cookie: a=evil\r\n\r\n", "", "cookie"},
        {"argpost", "POST / HTTP/1.1\r\n", "Host: h\r\n\r\n", "a=evil", "arg_post"},
        {"method", "EVIL / HTTP/1.1\r\n", "", "", "method"},
        {"url", "GET /evil HTTP/1.1\r\n", "", "", "url"},
        {"argget", "GET /?a=evil HTTP/1.1\r\n", "", "", "arg_get"},
        {"ver", "GET / HTTP/9.9\r\n", "", "", "httpver"},
        {"referer", "GET / HTTP/1.1\r\n", "Referer: evil\r\n\r\n", "", "referer"},
        {"cip", "GET / HTTP/1.1\r\n", "client-ip: evil\r\n\r\n", "", "cip"},
        {"agent", "GET / HTTP/1.1\r\n", "User-Agent: evil\r\n\r\n", "", "agent"},
        {"host", "GET / HTTP/1.1\r\n", "Host: evil\r\n\r\n", "", "host"},
        {"proxy", "GET / HTTP/1.1\r\n", "X-Forwarded-For: evil\r\n\r\n", "", "proxy"},
        {"alan", "GET / HTTP/1.1\r\n", "Accept-Language: evil\r\n\r\n", "", "alan"},
    };
    int32_t id = 1;
    for (const Case& c : cases) {
        const std::string pattern = std::string(c.target) == "ver" ? "9.9" : "evil";
        rule("RAWRULE \"" + std::to_string(id) + "," + c.target + ",normal,find,log\" \"" +
             pattern + "\"");
        ++id;
    }
    id = 1;
    for (const Case& c : cases) {
        filter.attackRecords.clear();
        send(c.line, c.header, c.body);
        ASSERT_EQ(records().size(), 1u) << c.target;
        const std::vector<std::string> fields = fieldsOf(records()[0]);
        ASSERT_EQ(fields.size(), 9u) << records()[0];
        EXPECT_EQ(fields[kLabel], c.label) << c.target;
        EXPECT_EQ(fields[kRule], "AR:" + std::to_string(id)) << c.target;
        ++id;
    }
}

// Each case has a URL of its own, so that only its own constraint applies.
TEST_F(RequestInspection, EachParameterPositionHasItsPatchRule) {
    ASSERT_TRUE(filter.rules().addSafestrTypeRule("num", "^[0-9]+$"));
    struct Case {
        char letter;
        const char* param;
        const char* query;
        const char* header;
        const char* body;
        const char* label;
    };
    const Case cases[] = {
        {'c', "sid", "", "Cookie: sid=x\r\n", "", "cookie"},
        {'p', "id", "", "", "id=x", "arg_post"},
        {'g', "id", "?id=x", "", "", "arg_get"},
        {'r', "referer", "", "Referer: x\r\n", "", "referer"},
        {'i', "client-ip", "", "Client-IP: x\r\n", "", "cip"},
        {'u', "user-agent", "", "User-Agent: x\r\n", "", "user-agent"},
        {'x', "x-forwarded-for", "", "X-Forwarded-For: x\r\n", "", "x-forwarded-for"},
        {'a', "accept-language", "", "Accept-Language: x\r\n", "", "alan"},
    };
    int32_t id = 10;
    for (const Case& c : cases) {
        const std::string url = std::string("/") + c.letter + ".asp";
        patchRule("JIPRULE  " + std::to_string(id) + "  site::80::" + url + "::" + c.letter +
                  "::" + c.param + "  num::1-20");
        filter.attackRecords.clear();
        const std::string method = c.body[0] != 0 ? "POST" : "GET";
        send(method + " " + url + c.query + " HTTP/1.1\r\n",
             std::string("Host: site\r\n") + c.header + "\r\n", c.body);
        ASSERT_EQ(records().size(), 1u) << c.letter << "::" << c.param;
        EXPECT_EQ(records()[0], " 10.0.0.1 192.168.1.2 80 site " + method + " " + c.label +
                                    " PR:" + std::to_string(id) + " log " + url)
            << c.letter << "::" << c.param;
        ++id;
    }
    EXPECT_TRUE(calls().closed.empty()) << "blocking is off in mode 2";
}

TEST_F(RequestInspection, HandlesDecideTheActionWord) {
    struct Case {
        const char* handle;
        const char* mode;
        const char* blockWhenN;
        const char* action;
        bool closed;
        bool counted;
    };
    const Case cases[] = {
        {"log", "run_mod=1", "block_when_n=1", "log", false, false},
        {"block", "run_mod=1", "block_when_n=1", "log|block", true, true},
        {"block", "run_mod=1", "block_when_n=2", "log", false, true},
        {"block", "run_mod=2", "block_when_n=1", "log", false, false},
        {"block", "run_mod=0", "block_when_n=1", "log|block", true, true},
    };
    for (const Case& c : cases) {
        testing::TempFolder caseFolder;
        fakenet::reset();
        testing::TableFilter handled;
        for (const char* line : {c.mode, c.blockWhenN}) {
            handled.settings().parseline(line);
        }
        ASSERT_TRUE(handled.rules().addrulestr(std::string("RAWRULE \"3,url,normal,find,") +
                                               c.handle + "\" \"/etc/passwd\""));
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1");
        handled.tcpConnected(kId, &info);
        MemoryObject object = MemoryObject::request("GET /etc/passwd HTTP/1.1\r\n");
        handled.dataAvailable(kId, &object);
        ASSERT_EQ(handled.attackRecords.size(), 1u) << c.handle << c.mode;
        EXPECT_EQ(fieldsOf(handled.attackRecords[0])[kAction], c.action) << c.handle << c.mode;
        EXPECT_EQ(fakenet::calls().closed.size(), c.closed ? 1u : 0u) << c.handle << c.mode;
        EXPECT_EQ(handled.blockTimer().findForTest("10.0.0.1").has_value(), c.counted)
            << c.handle << c.mode;
        EXPECT_EQ(fakenet::calls().posted, (std::vector<uint64_t>{kId})) << "passed on even closed";
    }
}

TEST_F(RequestInspection, PatchRuleThatClosesWritesBlock) {
    apply({"run_mod=1"});
    ASSERT_TRUE(filter.rules().addSafestrTypeRule("num", "^[0-9]+$"));
    patchRule("JIPRULE  4  site::80::/a.asp::g::id  num::1-20");
    send("GET /a.asp?id=x HTTP/1.1\r\n", "Host: site\r\n\r\n");
    ASSERT_EQ(records().size(), 1u);
    EXPECT_EQ(records()[0], " 10.0.0.1 192.168.1.2 80 site GET arg_get PR:4 block /a.asp");
    EXPECT_EQ(calls().closed, (std::vector<uint64_t>{kId}));
}

TEST_F(RequestInspection, TwoHitsWriteTwoRecordsAfterTheClose) {
    apply({"run_mod=1", "block_when_n=1", "block_agin_when_m=5"});
    rule(R"(RAWRULE "1,argget,normal,find,block" "union")");
    rule(R"(RAWRULE "2,agent,normal,find,block" "sqlmap")");
    send("GET /a?q=union HTTP/1.1\r\n", "Host: h\r\nUser-Agent: sqlmap\r\n\r\n");
    ASSERT_EQ(records().size(), 2u);
    EXPECT_EQ(records()[0], " 10.0.0.1 192.168.1.2 80 h GET arg_get AR:1 log|block /a");
    EXPECT_EQ(records()[1], " 10.0.0.1 192.168.1.2 80 h GET agent AR:2 log /a");
    EXPECT_EQ(filter.blockTimer().findForTest("10.0.0.1")->attackcount, 2u);
    EXPECT_EQ(calls().closed, (std::vector<uint64_t>{kId}));
    EXPECT_EQ(calls().posted, (std::vector<uint64_t>{kId}));
}

// A web server may read either name and any line of it.
TEST_F(RequestInspection, EveryForwardingLineIsInspected) {
    rule(R"(RAWRULE "6,proxy,raw,find,log" "evil")");
    struct Case {
        const char* header;
        bool hit;
    };
    const Case cases[] = {
        {"HTTP_X_FORWARDED_FOR: good\r\nx-forwarded-for: evil\r\n\r\n", true},
        {"HTTP_X_FORWARDED_FOR: evil\r\nx-forwarded-for: good\r\n\r\n", true},
        {"x-forwarded-for: evil\r\n\r\n", true},
        {"HTTP_X_FORWARDED_FOR:\r\nX-Forwarded-For: evil\r\n\r\n", true},
        {"X-Forwarded-For: good\r\nX-Forwarded-For: evil\r\n\r\n", true},
        {"X-Forwarded-For: good\r\nX-Forwarded-For: good\r\n\r\n", false},
    };
    for (const Case& c : cases) {
        filter.attackRecords.clear();
        send("GET / HTTP/1.1\r\n", c.header);
        EXPECT_EQ(records().size(), c.hit ? 1u : 0u) << printable(c.header);
    }
}

TEST_F(RequestInspection, ListsOfTheCompleteRequest) {
    struct Case {
        const char* lists;
        const char* mode;
        const char* line;
        const char* header;
        bool inspected;
        bool posted;
        const char* logLine;
    };
    const Case cases[] = {
        {"WL_URL \"/pub\"\n", "run_mod=1", "GET /pub/evil HTTP/1.1\r\n", "", false, true, nullptr},
        {"WL_EXT \"css\"\n", "run_mod=1", "GET /evil.css HTTP/1.1\r\n", "", false, true, nullptr},
        {"WL_HOST \"cdn\"\n", "run_mod=1", "GET /evil HTTP/1.1\r\n", "Host: cdn\r\n\r\n", false,
         true, nullptr},
        {"BL_URL \"/evil\"\n", "run_mod=1", "GET /evil HTTP/1.1\r\n", "", false, false,
         "10.0.0.1 /evil in BL_URL,block on dataAvailable!"},
        {"BL_EXT \"php\"\n", "run_mod=1", "GET /evil.php HTTP/1.1\r\n", "", false, false,
         "10.0.0.1 php in BL_EXT,block on dataAvailable!"},
        {"BL_HOST \"bad\"\n", "run_mod=1", "GET /evil HTTP/1.1\r\n", "Host: bad\r\n\r\n", false,
         false, "10.0.0.1 bad in BL_HOST,block on dataAvailable!"},
        {"BL_URL \"/evil\"\n", "run_mod=2", "GET /evil HTTP/1.1\r\n", "", true, true, nullptr},
        {"BL_HOST \"bad\"\n", "run_mod=2", "GET /evil HTTP/1.1\r\n", "Host: bad\r\n\r\n", true,
         true, nullptr},
    };
    for (const Case& c : cases) {
        testing::TempFolder caseFolder;
        fakenet::reset();
        testing::TableFilter listed;
        listed.settings().parseline(c.mode);
        ASSERT_TRUE(listed.rules().addrulestr(R"(RAWRULE "9,url,normal,find,log" "evil")"));
        testing::writeFile("wblist.dat", c.lists);
        ASSERT_EQ(listed.loadWbList(), 0);
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1");
        listed.tcpConnected(kId, &info);
        MemoryObject object = MemoryObject::request(c.line, c.header);
        listed.dataAvailable(kId, &object);
        EXPECT_EQ(listed.attackRecords.size(), c.inspected ? 1u : 0u) << c.lists << c.mode;
        EXPECT_EQ(listed.detailRecords.size(), c.inspected ? 1u : 0u) << c.lists << c.mode;
        EXPECT_EQ(fakenet::calls().posted.size(), c.posted ? 1u : 0u) << c.lists << c.mode;
        const std::vector<std::string> log = testing::logTexts("log/ostrum.log");
        if (c.logLine != nullptr) {
            EXPECT_EQ(log, (std::vector<std::string>{c.logLine})) << c.lists;
        } else {
            EXPECT_TRUE(log.empty()) << c.lists << c.mode;
        }
    }
}

TEST_F(RequestInspection, MultipartBodyIsNotRead) {
    rule(R"(RAWRULE "1,argpost,normal,find,log" "evil")");
    rule(R"(RAWRULE "2,argget,normal,find,log" "bad")");
    rule(R"(RAWRULE "3,cookie,normal,find,log" "worse")");
    send("POST /up?q=bad HTTP/1.1\r\n",
         "Host: h\r\nContent-Type: multipart/form-data; boundary=XyZ\r\nCookie: s=worse\r\n\r\n",
         "--XyZ\r\na=evil\r\n--XyZ--\r\n");
    ASSERT_EQ(records().size(), 2u);
    EXPECT_EQ(fieldsOf(records()[0])[kLabel], "cookie");
    EXPECT_EQ(fieldsOf(records()[1])[kLabel], "arg_get");
    ASSERT_EQ(filter.detailRecords.size(), 1u);
    EXPECT_EQ(filter.detailRecords[0].find("evil"), std::string::npos);
}

TEST_F(RequestInspection, ChecksRunInPositionOrder) {
    for (const char* target : {"alan", "proxy", "host", "agent", "cip", "referer", "ver", "argget",
                               "url", "method", "argpost", "cookie"}) {
        rule(std::string("RAWRULE \"1,") + target + ",raw,regex,log\" \".\"");
    }
    send("POST /u?g=1 HTTP/1.1\r\n",
         "Host: h\r\nCookie: c=1\r\nReferer: r\r\nclient-ip: i\r\nUser-Agent: u\r\n"
         "X-Forwarded-For: x\r\nAccept-Language: a\r\n\r\n",
         "p=1");
    std::vector<std::string> labels;
    for (const std::string& record : records()) {
        labels.push_back(fieldsOf(record)[kLabel]);
    }
    EXPECT_EQ(labels,
              (std::vector<std::string>{"cookie", "arg_post", "method", "url", "arg_get", "httpver",
                                        "referer", "cip", "agent", "host", "proxy", "alan"}));
}

TEST_F(RequestInspection, MissingPartsAndRecords) {
    rule(R"(RAWRULE "1,url,normal,find,log" "evil")");
    send("GET /evil HTTP/1.1\r\n");
    MemoryObject unknown = MemoryObject::request("GET /evil HTTP/1.1\r\n", "Host: h\r\n\r\n");
    filter.dataAvailable(12345, &unknown);
    send("GET /evil HTTP/1.1\r\n", "\x01\x02 not a header\r\nHost: h\r\n\r\n");
    ASSERT_EQ(records().size(), 3u);
    EXPECT_EQ(records()[0], " 10.0.0.1 192.168.1.2 80 null GET url AR:1 log /evil");
    EXPECT_EQ(records()[1], " null null null h GET url AR:1 log /evil");
    EXPECT_EQ(records()[2], " 10.0.0.1 192.168.1.2 80 null GET url AR:1 log /evil");
}

TEST_F(RequestInspection, ObjectWithoutRequestLineIsPassedOnUninspected) {
    rule(R"(RAWRULE "1,any,normal,find,log" "evil")");
    MemoryObject object;
    object.setStream(HS_HEADER, std::string("Host: evil\r\n\r\n"));
    filter.dataAvailable(kId, &object);
    EXPECT_TRUE(records().empty());
    EXPECT_TRUE(filter.detailRecords.empty());
    EXPECT_EQ(calls().posted, (std::vector<uint64_t>{kId}));
    filter.dataAvailable(kId, nullptr);
}

TEST_F(RequestInspection, SelfLearningSeesEveryParameterPosition) {
    apply({"run_mod=0", "self_learn=1"});
    send("POST /a.asp?g=1 HTTP/1.1\r\n", "Host: Site\r\nCookie: c=1\r\n\r\n", "p=1");
    std::set<std::string> keys;
    for (const auto& [key, stat] : filter.rules().learnSnapshot()) {
        keys.insert(key);
    }
    EXPECT_EQ(keys, (std::set<std::string>{"site::80::/a.asp::C::c", "site::80::/a.asp::P::p",
                                           "site::80::/a.asp::G::g", "site::80::/a.asp::R::referer",
                                           "site::80::/a.asp::I::client-ip",
                                           "site::80::/a.asp::U::user-agent",
                                           "site::80::/a.asp::X::x-forwarded-for",
                                           "site::80::/a.asp::A::accept-language"}));
    testing::TableFilter notLearning;
    notLearning.settings().parseline("run_mod=1");
    notLearning.settings().parseline("self_learn=1");
    MemoryObject object = MemoryObject::request("GET /a.asp?g=1 HTTP/1.1\r\n", "Host: s\r\n\r\n");
    notLearning.dataAvailable(kId, &object);
    EXPECT_EQ(notLearning.rules().learnCount(), 0u);
}

// Hostile objects, inspected with the trace on so that every trace is formatted.
TEST_F(RequestInspection, HostileRequestsAreInspectedWithinBounds) {
    testing::TraceCapture trace;
    rule(R"(RAWRULE "1,any,normal,regex,log" "\x00|union")");
    std::string cookie = "Cookie: ";
    for (int i = 0; i < 5000; ++i) {
        cookie += "k" + std::to_string(i) + "=v;";
    }
    cookie += "\r\n\r\n";
    struct Case {
        const char* what;
        std::string line;
        std::string header;
        std::string body;
    };
    const Case cases[] = {
        {"no blank", "GARBAGE\r\n", "Host: h\r\n\r\n", ""},
        {"no CR LF", "GET /x HTTP/1.1", "Host: h\r\n\r\n", ""},
        {"one megabyte line", "GET /" + std::string(1 << 20, 'a') + " HTTP/1.1\r\n", "", ""},
        {"binary", bytes("\0\xff\xfe \x01?\x02\x03 HTTP/1.1\r\n"), bytes("\0\0:\0\r\n"),
         bytes("\0=\0&&==")},
        {"garbage header", "GET / HTTP/1.1\r\n", std::string(4096, '\x7f'), "x"},
        {"huge cookie", "GET / HTTP/1.1\r\n", cookie, ""},
        {"many query pieces", "GET /?" + std::string(100000, '&') + " HTTP/1.1\r\n", "", ""},
        {"many body pieces", "POST / HTTP/1.1\r\n", "Host: h\r\n\r\n", std::string(100000, '=')},
    };
    for (const Case& c : cases) {
        fakenet::reset();
        send(c.line, c.header, c.body);
        EXPECT_EQ(calls().posted, (std::vector<uint64_t>{kId})) << c.what;
        EXPECT_EQ(part(c.line, c.header, c.body),
                  c.line.size() + c.header.size() + c.body.size() <= kHeldRequestMax ? DPCR_FILTER
                                                                                     : DPCR_BYPASS)
            << c.what;
    }
    for (const int lyingIndex : {HS_REQUEST_LINE, HS_HEADER, HS_CONTENT}) {
        fakenet::reset();
        MemoryObject object = MemoryObject::request("GET / HTTP/1.1\r\n", "Host: h\r\n\r\n", "a=1");
        object.setStream(lyingIndex,
                         std::make_shared<LyingStream>(std::numeric_limits<uint64_t>::max()));
        filter.dataAvailable(kId, &object);
        EXPECT_EQ(calls().posted, (std::vector<uint64_t>{kId})) << lyingIndex;
    }
    EXPECT_NE(trace.text().find("new request end."), std::string::npos);
}

TEST_F(RequestInspection, TracesTellTheRequest) {
    testing::TraceCapture trace;
    send("GET /a.asp?x=1 HTTP/1.1\r\n",
         "Host: h\r\nContent-Type: multipart/form-data; boundary=B1\r\nCookie: c=2\r\n\r\n");
    const std::string text = trace.text();
    for (const char* expected :
         {"count of received http packet 1\n", "id=7,new request.\n", "method=GET \n",
          "url=/a.asp \n", "ext=asp \n", "httpver=1.1 \n",
          "size of headerdata=", "contenttype=multipart/form-data; boundary=B1 \n",
          "multipart type,boundary=B1\n", "host=h \n", "cookie=c=2 \n", "var count of cookies=1\n",
          "var_name=c,var_value=2\n", "querystring=x=1 \n", "var count of querystring=1\n",
          "var_name=x,var_value=1\n", "new request end.\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
    EXPECT_EQ(text.find("referer="), std::string::npos) << "absent fields are not traced";

    // A variable is traced up to its first zero byte, as a C string is.
    fakenet::reset();
    send("POST /f?q=%00 HTTP/1.1\r\n", "Host: h\r\n\r\n", std::string("n%61me=x\0y&b=2", 15));
    const std::string posted = trace.text();
    for (const char* expected :
         {"var count of postdata=2\n", "var_name=name,var_value=x\n", "var_name=b,var_value=2\n",
          "querystring=q=%00 \n", "var_name=q,var_value=%00\n"}) {
        EXPECT_NE(posted.find(expected), std::string::npos) << expected;
    }
    fakenet::reset();
    part("GET /a.asp HTTP/1.1\r\n", "Host: h\r\n\r\n");
    const std::string partial = trace.text();
    for (const char* expected :
         {"dataPartAvailable, url=/a.asp \n", "dataPartAvailable, ext=asp \n",
          "data available partly. received size=32\n"}) {
        EXPECT_NE(partial.find(expected), std::string::npos) << expected;
    }
}

} // namespace
} // namespace ostrum
