#include "platform/debug.h"
#include "service/http_filter.h"
#include "service/tests/temp_folder.h"
#include "service/tests/trace_capture.h"
#include "service/wblist.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

using testing::TraceCapture;

struct LineCase {
    std::string line;
    std::optional<wblistitem> expected;
};

TEST(ListLine, AcceptsOnlyAWholeEntryLine) {
    const std::vector<LineCase> cases = {
        {"WL_IP   \"10.0.0.5\"", wblistitem{"10.0.0.5", WL_IP}},
        {"WL_IP\t\"10.0.0.5\"", wblistitem{"10.0.0.5", WL_IP}},
        {"BL_IP \t \"10.0.0.5\"", wblistitem{"10.0.0.5", BL_IP}},
        {"WL_URL   \"/Admin/\"", wblistitem{"/admin/", WL_URL}},
        {"BL_URL   \"/x\"", wblistitem{"/x", BL_URL}},
        {"WL_EXT   \"ASP\"", wblistitem{"asp", WL_EXT}},
        {"BL_EXT   \".asp\"", wblistitem{".asp", BL_EXT}},
        {"WL_HOST   \"Example.COM:8080\"", wblistitem{"example.com:8080", WL_HOST}},
        {"BL_HOST   \"a\"b\"c\"", wblistitem{"a\"b\"c", BL_HOST}},
        {"BL_HOST   \"\"\"", wblistitem{"\"", BL_HOST}},
        {"WL_EXT   \"\xc4SP\"", wblistitem{"\xc4sp", WL_EXT}},
        {std::string("WL_IP \"a\0b\"", 11), wblistitem{std::string("a\0b", 3), WL_IP}},
        {" WL_IP   \"10.0.0.5\"", std::nullopt},
        {"wl_ip   \"10.0.0.5\"", std::nullopt},
        {"WL_IP   \"10.0.0.5\" ", std::nullopt},
        {"WL_IP   \"10.0.0.5\"x", std::nullopt},
        {"WL_IP   \"\"", std::nullopt},
        {"WL_IP\"10.0.0.5\"", std::nullopt},
        {"WL_IP   10.0.0.5", std::nullopt},
        {"WL_IP   \"10.0.0.5", std::nullopt},
        {"WL_IPX   \"a\"", std::nullopt},
        {"XWL_IP   \"a\"", std::nullopt},
        {"WL_IP   \"a\rb\"", std::nullopt},
        {"WL_IP   \"a\nb\"", std::nullopt},
        {std::string("WL_IP \"a\"\0", 10), std::nullopt},
        {"", std::nullopt},
        {"\"", std::nullopt},
    };
    for (const LineCase& c : cases) {
        wblistitem item;
        const bool parsed = parseListLine(c.line, item);
        EXPECT_EQ(parsed, c.expected.has_value()) << "line: [" << c.line << "]";
        if (parsed && c.expected) {
            EXPECT_EQ(item.value, c.expected->value) << "line: [" << c.line << "]";
            EXPECT_EQ(item.listcode, c.expected->listcode) << "line: [" << c.line << "]";
        }
    }
}

TEST(ListLine, KeywordsAndCodesMapBothWays) {
    for (int code = WL_IP; code <= BL_HOST; ++code) {
        EXPECT_EQ(listCodeOf(listKeyword(code)), code);
    }
    EXPECT_EQ(listCodeOf("wl_ip"), -1);
    EXPECT_EQ(listCodeOf(""), -1);
    EXPECT_TRUE(listKeyword(-1).empty());
    EXPECT_TRUE(listKeyword(8).empty());
}

const char* const kListFile = "# comment\r\n"
                              "WL_IP   \"10.0.0.5\"\r\n"
                              " WL_IP   \"10.0.0.6\"\r\n"
                              "wl_ip   \"10.0.0.7\"\r\n"
                              "WL_IP   \"10.0.0.8\" \r\n"
                              "WL_URL   \"/Admin/\"\r\n"
                              "BL_EXT   \"asp\"\r\n"
                              "BL_EXT   \".php\"\r\n"
                              "BL_HOST\t\"example.com\"\r\n"
                              "BL_URL   \"\"\r\n"
                              "WL_HOST   \"a\"b\"\r\n"
                              "ab\r\n"
                              "\r\n"
                              "BL_IP   \"10.0.0.9\"";

struct MatchCase {
    std::string value;
    int listcode;
    bool expected;
};

void expectMatches(HttpFilter& filter, const std::vector<MatchCase>& cases) {
    for (const MatchCase& c : cases) {
        EXPECT_EQ(filter.matchList(c.value, c.listcode), c.expected)
            << "value: [" << c.value << "] list " << c.listcode;
    }
}

TEST(ListFile, LoadsEntryLinesInFileOrder) {
    TempFolder folder;
    writeFile("wblist.dat", kListFile);
    TraceCapture trace;
    HttpFilter filter;
    EXPECT_EQ(filter.loadWbList(), 0);
    std::vector<std::pair<std::string, int>> entries;
    for (const wblistitem& item : filter.listEntries()) {
        entries.emplace_back(item.value, item.listcode);
    }
    const std::vector<std::pair<std::string, int>> expected = {
        {"10.0.0.5", WL_IP},      {"/admin/", WL_URL}, {"asp", BL_EXT},    {".php", BL_EXT},
        {"example.com", BL_HOST}, {"a\"b", WL_HOST},   {"10.0.0.9", BL_IP}};
    EXPECT_EQ(entries, expected);
    const std::string text = trace.text();
    for (const char* line :
         {"parseline wlist WL_IP 10.0.0.5\n", "parseline wlist WL_URL /admin/\n",
          "wblist comment line:  WL_IP   \"10.0.0.6\"\n", "wblist comment line: wl_ip",
          "wblist comment line: WL_IP   \"10.0.0.8\" \n", "wblist comment line: BL_URL   \"\"\n"}) {
        EXPECT_NE(text.find(line), std::string::npos) << line << "in:\n" << text;
    }
    EXPECT_EQ(text.find("# comment"), std::string::npos) << "comments are skipped silently";
    EXPECT_EQ(text.find("line: ab"), std::string::npos) << "short lines are skipped silently";
}

TEST(ListFile, MatchesEachListByItsOwnRule) {
    TempFolder folder;
    writeFile("wblist.dat", kListFile);
    HttpFilter filter;
    ASSERT_EQ(filter.loadWbList(), 0);
    expectMatches(filter, {
                              {"10.0.0.5", WL_IP, true},
                              {"10.0.0.5", BL_IP, false},
                              {"10.0.0.50", WL_IP, false},
                              {"10.0.0.6", WL_IP, false},
                              {"10.0.0.7", WL_IP, false},
                              {"10.0.0.8", WL_IP, false},
                              {"10.0.0.9", BL_IP, true},
                              {"/admin/login.asp", WL_URL, true},
                              {"/x/admin/", WL_URL, true},
                              {"/X/ADMIN/Y", WL_URL, true},
                              {"/admin", WL_URL, false},
                              {"/admin/", BL_URL, false},
                              {"asp", BL_EXT, true},
                              {"ASP", BL_EXT, true},
                              {"aspx", BL_EXT, false},
                              {"php", BL_EXT, false},
                              {"", BL_EXT, false},
                              {"asp", WL_EXT, false},
                              {"example.com", BL_HOST, true},
                              {"Example.Com", BL_HOST, true},
                              {"example.com:8080", BL_HOST, false},
                              {"a\"b", WL_HOST, true},
                              {"10.0.0.5", -1, false},
                              {"10.0.0.5", 8, false},
                          });
}

TEST(ListFile, TracesTheMatchedValue) {
    TempFolder folder;
    writeFile("wblist.dat", kListFile);
    HttpFilter filter;
    ASSERT_EQ(filter.loadWbList(), 0);
    TraceCapture trace;
    EXPECT_TRUE(filter.matchList("/X/Admin/Login", WL_URL));
    EXPECT_TRUE(filter.matchList("ASP", BL_EXT));
    EXPECT_EQ(trace.text(), "matched_value=/admin/\nmatched_value=asp\n");
}

TEST(ListFile, SwitchedOffListsAreNotReadAndNeverMatch) {
    TempFolder folder;
    writeFile("wblist.dat", kListFile);
    HttpFilter filter;
    filter.settings().parseline("active_wblist=0");
    EXPECT_EQ(filter.loadWbList(), 0);
    EXPECT_TRUE(filter.listEntries().empty());
    expectMatches(filter, {{"10.0.0.5", WL_IP, false}, {"/admin/", WL_URL, false}});

    HttpFilter loaded;
    ASSERT_EQ(loaded.loadWbList(), 0);
    loaded.settings().parseline("active_wblist=0");
    expectMatches(loaded, {{"10.0.0.5", WL_IP, false}, {"/admin/", WL_URL, false}});
}

TEST(ListFile, MissingFileLeavesTheListsEmpty) {
    TempFolder folder;
    TraceCapture trace;
    HttpFilter filter;
    EXPECT_EQ(filter.loadWbList(), -1);
    EXPECT_TRUE(filter.listEntries().empty());
    EXPECT_FALSE(filter.matchList("10.0.0.5", WL_IP));
    EXPECT_NE(trace.text().find("Failed to open wblist.dat !\n"), std::string::npos);
}

TEST(ListFile, LoadingAgainDoesNotDoubleTheEntries) {
    TempFolder folder;
    writeFile("wblist.dat", "WL_IP \"10.0.0.5\"\n");
    HttpFilter filter;
    ASSERT_EQ(filter.loadWbList(), 0);
    writeFile("wblist.dat", "BL_IP \"10.0.0.6\"\n");
    ASSERT_EQ(filter.loadWbList(), 0);
    ASSERT_EQ(filter.listEntries().size(), 1u);
    expectMatches(filter, {{"10.0.0.5", WL_IP, false}, {"10.0.0.6", BL_IP, true}});
}

TEST(ListFile, BinaryJunkIsSkippedAroundGoodLines) {
    TempFolder folder;
    const char raw[] =
        "\x00\x01\x02\n\xff\xfe\"\"\"\nWL_IP \"10.0.0.5\"\n\r\r\r\r\nBL_IP \"\x00\"\n";
    writeFile("wblist.dat", std::string_view(raw, sizeof raw - 1));
    HttpFilter filter;
    ASSERT_EQ(filter.loadWbList(), 0);
    ASSERT_EQ(filter.listEntries().size(), 2u);
    expectMatches(filter, {{"10.0.0.5", WL_IP, true}, {std::string(1, '\0'), BL_IP, true}});
}

} // namespace
} // namespace ostrum
