#include "service/log_field.h"
#include "service/request_values.h"
#include "service/tests/filter_fixture.h"
#include "service/tests/memory_object.h"
#include "service/tests/trace_capture.h"
#include "service/value_check.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using testing::inboundInfo;
using testing::MemoryObject;

constexpr uint64_t kId = 9;
constexpr size_t kAttackFields = 11;

std::vector<std::string> blankFields(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (start <= line.size()) {
        const size_t blank = std::min(line.find(' ', start), line.size());
        fields.push_back(line.substr(start, blank - start));
        start = blank + 1;
    }
    return fields;
}

// Every line of a log file after its header, split at CR LF.
std::vector<std::string> recordLines(const std::string& name) {
    const std::string text = testing::readFile(name);
    std::vector<std::string> lines;
    size_t start = text.find("\r\n\r\n");
    start = start == std::string::npos ? 0 : start + 4;
    while (start < text.size()) {
        const size_t end = std::min(text.find("\r\n", start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

class RequestFields : public testing::FilterTest {
protected:
    void SetUp() override {
        FilterTest::SetUp();
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1", 40000);
        filter.tcpConnected(kId, &info);
        fakenet::reset();
    }

    void rule(const std::string& line) { ASSERT_TRUE(filter.rules().addrulestr(line)) << line; }

    void send(std::string_view line, std::string_view header = {}, std::string_view body = {}) {
        MemoryObject object = MemoryObject::request(line, header, body);
        filter.dataAvailable(kId, &object);
    }

    // The position labels of the records written so far.
    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const std::string& record : filter.attackRecords) {
            out.push_back(blankFields(record.substr(1))[5]);
        }
        return out;
    }
};

TEST(LogField, EncodesWhatWouldSplitALineOrAField) {
    EXPECT_EQ(logField("/a b\r\n\t\x7f\x01%x"), "/a%20b%0D%0A%09%7F%01%x");
    EXPECT_EQ(logField(std::string("a\0b", 3)), "a%00b");
    EXPECT_EQ(logField("\xe4\xb8\xad!~"), "\xe4\xb8\xad!~");
    EXPECT_EQ(logField(""), "");
    EXPECT_EQ(logLineText("a b\r\n\t\x7f"), "a b%0D%0A%09%7F");
}

TEST(MediaType, OnlyMultipartFormDataItselfCounts) {
    const struct {
        const char* contenttype;
        bool multipart;
    } cases[] = {
        {"multipart/form-data; boundary=x", true},
        {"Multipart/Form-Data ;boundary=x", true},
        {" \tmultipart/form-data", true},
        {"multipart/form-data", true},
        {"application/x-www-form-urlencoded; x=multipart/form-data", false},
        {"application/x-www-form-urlencoded,multipart/form-data", false},
        {"multipart/form-datax; boundary=x", false},
        {"text/multipart/form-data", false},
        {"multipart/mixed; boundary=x", false},
        {"", false},
        {";", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isMultipartFormData(c.contenttype), c.multipart) << c.contenttype;
    }
}

TEST_F(RequestFields, BodyIsSkippedOnlyForAMultipartMediaType) {
    rule(R"(RAWRULE "1,argpost,normal,find,log" "evil")");
    const struct {
        const char* header;
        bool inspected;
    } cases[] = {
        {"Content-Type: multipart/form-data; boundary=x\r\n\r\n", false},
        {"Content-Type: MULTIPART/FORM-DATA ; boundary=x\r\n\r\n", false},
        {"Content-Type: application/x-www-form-urlencoded; x=multipart/form-data\r\n\r\n", true},
        {"Content-Type: text/plain;multipart/form-data\r\n\r\n", true},
        {"Content-Type: multipart/form-data; boundary=x\r\n"
         "Content-Type: application/x-www-form-urlencoded\r\n\r\n",
         true},
        {"Host: h\r\n\r\n", true},
    };
    for (const auto& c : cases) {
        filter.attackRecords.clear();
        send("POST /f HTTP/1.1\r\n", c.header, "a=1&b=evil");
        EXPECT_EQ(filter.attackRecords.size(), c.inspected ? 1u : 0u) << c.header;
    }
}

TEST_F(RequestFields, EveryLineOfAReadFieldIsInspected) {
    rule(R"(RAWRULE "1,cookie,raw,find,log" "evil")");
    rule(R"(RAWRULE "2,agent,raw,find,log" "evil")");
    rule(R"(RAWRULE "3,referer,raw,find,log" "evil")");
    rule(R"(RAWRULE "4,alan,raw,find,log" "evil")");
    rule(R"(RAWRULE "5,cip,raw,find,log" "evil")");
    const struct {
        const char* header;
        std::vector<std::string> labels;
    } cases[] = {
        {"Cookie: a=1\r\nCookie: b=evil\r\n\r\n", {"cookie"}},
        {"Cookie: a=evil\r\nHost: h\r\nCookie: b=evil\r\n\r\n", {"cookie", "cookie"}},
        {"User-Agent: good\r\nUser-Agent: evil\r\n\r\n", {"agent"}},
        {"Referer: good\r\nreferer: evil\r\n\r\n", {"referer"}},
        {"Accept-Language: en\r\nAccept-Language: evil\r\n\r\n", {"alan"}},
        {"client-ip: 1.2.3.4\r\nCLIENT-IP: evil\r\n\r\n", {"cip"}},
        {"User-Agent: good\r\nReferer: good\r\n\r\n", {}},
        {"USER-AGENT: good\r\n\tevil\r\nHost: h\r\n\r\n", {"agent"}},
        {"Cookie:\r\ncookie: b=evil\r\n\r\n", {"cookie"}},
        {"COOKIE: a=evil; b=evil\r\nCookie: c=evil\r\n\r\n", {"cookie", "cookie", "cookie"}},
    };
    for (const auto& c : cases) {
        filter.attackRecords.clear();
        send("GET / HTTP/1.1\r\n", c.header);
        EXPECT_EQ(labels(), c.labels) << c.header;
    }
}

TEST_F(RequestFields, EveryCookieLineReachesPatchRulesAndLearning) {
    apply({"self_learn=1", "run_mod=0"});
    send("GET /p HTTP/1.1\r\n", "Host: h\r\nCookie: a=1; b=2\r\nCookie: c=3\r\n\r\n");
    const auto learned = filter.rules().learnSnapshot();
    for (const char* key : {"h::80::/p::C::a", "h::80::/p::C:: b", "h::80::/p::C::c"}) {
        EXPECT_EQ(learned.count(key), 1u) << key;
    }
}

// The console splits a record at blanks and the file at line ends: client
// text can neither add a record nor move a column.
TEST_F(RequestFields, ClientTextStaysInsideItsFieldOfOneRecord) {
    rule(R"(RAWRULE "1,argget,normal,find,log" "evil")");
    send("GET /a%0d%0a2026-01-01%2000:00:00%20%201.2.3.4%0a?q=evil HTTP/1.1\r\n",
         "Host: my host name\r\n\r\n");
    send("G\tE\x7fT /b%20c?q=evil HTTP/1.1\r\n", "Host: \r\n\r\n");
    const std::vector<std::string> lines = recordLines("log/attack2026-01-02.log");
    ASSERT_EQ(lines.size(), 2u);
    const std::vector<std::string> first = blankFields(lines[0]);
    ASSERT_EQ(first.size(), kAttackFields + 1) << lines[0]; // two blanks after the time
    EXPECT_EQ(first[6], "my%20host%20name");
    EXPECT_EQ(first[11], "/a%0D%0A2026-01-01%2000:00:00%20%201.2.3.4%0A");
    const std::vector<std::string> second = blankFields(lines[1]);
    ASSERT_EQ(second.size(), kAttackFields + 1) << lines[1];
    EXPECT_EQ(second[6], "null");
    EXPECT_EQ(second[7], "G%09E%7FT");
    EXPECT_EQ(second[11], "/b%20c");
}

TEST_F(RequestFields, ListValuesInTheRunLogStayOneLine) {
    apply({"run_mod=1", "action_block=1", "active_wblist=1"});
    writeLists("BL_URL \"evil\"\n");
    send("GET /evil%0d%0a2026-01-01%2000:00:00%20forged HTTP/1.1\r\n");
    EXPECT_EQ(runLog(), (std::vector<std::string>{
                            "10.0.0.1 /evil%0D%0A2026-01-01%2000:00:00%20forged in BL_URL,block "
                            "on dataAvailable!"}));
}

TEST_F(RequestFields, KeysAreBuiltOnlyForPatchRulesOrLearning) {
    const std::string request = "POST /a?q=1&r=2 HTTP/1.1\r\n";
    const std::string header = "Host: h\r\nCookie: c=1\r\nUser-Agent: u\r\n\r\n";
    {
        testing::TraceCapture trace;
        send(request, header, "p=1");
        EXPECT_EQ(trace.text().find("key="), std::string::npos);
    }
    ASSERT_TRUE(filter.rules().addjiprulestr("JIPRULE  5  h::80::/a::g::q  any::0-0"));
    testing::TraceCapture trace;
    send(request, header, "p=1");
    EXPECT_NE(trace.text().find("checkParamConstraint key=h::80::/a::g::r"), std::string::npos);
    EXPECT_EQ(trace.text().find("selflearn key="), std::string::npos);
}

TEST_F(RequestFields, RunLogTellsOnceThatLearningRefusedALongKey) {
    apply({"self_learn=1", "run_mod=0"});
    const std::string longUrl = "/" + std::string(kLearnKeyLengthMax, 'u');
    send("GET " + longUrl + "?a=1&b=2 HTTP/1.1\r\n", "Host: h\r\n\r\n");
    send("GET " + longUrl + "?c=1 HTTP/1.1\r\n", "Host: h\r\n\r\n");
    send("GET /short?a=1 HTTP/1.1\r\n", "Host: h\r\n\r\n");
    EXPECT_EQ(runLog(), (std::vector<std::string>{
                            "self_learn: keys longer than 1024 bytes are not learned"}));
    const auto learned = filter.rules().learnSnapshot();
    ASSERT_EQ(learned.size(), 6u); // the short request's a and its five empty header values
    EXPECT_EQ(learned.count("h::80::/short::G::a"), 1u);
}

TEST_F(RequestFields, ValuesUnderNamesThatAreNotUtf8AreInspected) {
    apply({"use_utf8=1"});
    rule(R"(RAWRULE "1,arg,normal,find,log" "union select")");
    for (const char* name : {"%C3%A9", "%FF", "%E4%B8", "caf%C3", "%00", "caf%C3%A9"}) {
        filter.attackRecords.clear();
        const std::string pair = std::string(name) + "=1%20union%20select%201";
        send("GET /?" + pair + " HTTP/1.1\r\n", "Host: h\r\n\r\n");
        send("POST / HTTP/1.1\r\n", "Host: h\r\n\r\n", pair);
        EXPECT_EQ(labels(), (std::vector<std::string>{"arg_get", "arg_post"})) << name;
    }
}

TEST_F(RequestFields, RecordsOfOneRequestAreCappedAndTheRestCounted) {
    rule(R"(RAWRULE "1,arg,normal,find,log" "evil")");
    std::string query;
    for (size_t i = 0; i < kRecordsPerRequestMax + 8; ++i) {
        query += "p" + std::to_string(i) + "=evil&";
    }
    send("GET /many?" + query + " HTTP/1.1\r\n", "Host: h\r\n\r\n");
    EXPECT_EQ(filter.attackRecords.size(), kRecordsPerRequestMax);
    EXPECT_EQ(runLog(), (std::vector<std::string>{
                            "10.0.0.1 8 of 40 hits of one request not written to the attack log"}));
    send("GET /one?a=evil HTTP/1.1\r\n", "Host: h\r\n\r\n");
    EXPECT_EQ(filter.attackRecords.size(), kRecordsPerRequestMax + 1);
    EXPECT_EQ(runLog().size(), 1u);
}

} // namespace
} // namespace ostrum
