#include "platform/debug.h"
#include "service/config.h"
#include "service/tests/temp_folder.h"
#include "service/tests/trace_capture.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace ostrum {
namespace {

using testing::readFile;
using testing::TempFolder;
using testing::writeFile;

using testing::TraceCapture;

using Getter = std::function<int64_t(config&)>;

struct LinesCase {
    std::vector<std::string> lines;
    Getter get;
    int64_t expected;
};

std::string joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += "[" + line + "] ";
    }
    return text;
}

void expectAfterLines(const std::vector<LinesCase>& cases) {
    for (const LinesCase& c : cases) {
        config settings;
        for (const std::string& line : c.lines) {
            EXPECT_EQ(settings.parseline(line), 0);
        }
        EXPECT_EQ(c.get(settings), c.expected) << "lines: " << joined(c.lines);
    }
}

const Getter runMod = [](config& s) { return s.getRunMod(); };
const Getter actionBlock = [](config& s) { return s.getActionBlock(); };
const Getter blockLength = [](config& s) { return s.getBlockTimeLength(); };

TEST(ConfigLine, RunModeReadsSignedNumbersAndMendsNegativeOnes) {
    expectAfterLines({
        {{"run_mod=0"}, runMod, 0},
        {{"run_mod=1"}, runMod, 1},
        {{"run_mod=3"}, runMod, 3},
        {{"run_mod=5"}, runMod, 5},
        {{"run_mod=-1"}, runMod, 2},
        {{"run_mod=0", "run_mod=-7"}, runMod, 2},
        {{"run_mod=abc"}, runMod, 2},
        {{"run_mod=1", "run_mod=abc"}, runMod, 1},
        {{"run_mod=1", "run_mod="}, runMod, 1},
        {{"run_mod= \t1"}, runMod, 1},
        {{"run_mod=+1"}, runMod, 1},
        {{"run_mod=1x"}, runMod, 1},
        {{"run_mod=99999999999999999999"}, runMod, INT32_MAX},
        {{"run_mod=-99999999999999999999"}, runMod, 2},
        {{"run_mod=2147483647"}, runMod, INT32_MAX},
    });
}

TEST(ConfigLine, FlagsAreTrueOnlyForTheOneCharacterOne) {
    expectAfterLines({
        {{"action_block=1"}, actionBlock, 1},
        {{"action_block=true"}, actionBlock, 0},
        {{"action_block=1 "}, actionBlock, 0},
        {{"action_block= 1"}, actionBlock, 0},
        {{"action_block="}, actionBlock, 0},
        {{"action_block=2"}, actionBlock, 0},
        {{"action_block=0", "action_block=1"}, actionBlock, 1},
    });
}

TEST(ConfigLine, EveryFlagKeyReachesItsOwnGetter) {
    const std::vector<std::pair<std::string, Getter>> flags = {
        {"write_detaillog", [](config& s) { return s.getWriteDetaillog(); }},
        {"action_block", [](config& s) { return s.getActionBlock(); }},
        {"block_when_conn", [](config& s) { return s.getBlockWhenConn(); }},
        {"self_learn", [](config& s) { return s.getSelfLearn(); }},
        {"active_wblist", [](config& s) { return s.getActiveWblist(); }},
        {"limit_conn", [](config& s) { return s.getLimitConn(); }},
        {"auto_update_report", [](config& s) { return s.getAutoUpdateReport(); }},
        {"use_utf8", [](config& s) { return s.getUseUtf8(); }},
    };
    for (const auto& [key, get] : flags) {
        expectAfterLines({{{key + "=1"}, get, 1}, {{key + "=0"}, get, 0}});
    }
}

TEST(ConfigLine, CountsReadLeadingDigitsAndTurnZeroIntoTheDefault) {
    expectAfterLines({
        {{"block_time_length=30"}, blockLength, 30},
        {{"block_time_length=30s"}, blockLength, 30},
        {{"block_time_length=  45"}, blockLength, 45},
        {{"block_time_length=0"}, blockLength, 60},
        {{"block_time_length=30", "block_time_length=0"}, blockLength, 60},
        {{"block_time_length=30", "block_time_length=x"}, blockLength, 30},
        {{"block_time_length=30", "block_time_length="}, blockLength, 30},
        {{"block_time_length=4294967295"}, blockLength, UINT32_MAX},
        {{"block_time_length=4294967296"}, blockLength, UINT32_MAX},
        {{"block_time_length=999999999999999999999999999"}, blockLength, UINT32_MAX},
        {{"block_time_length=30", "block_time_length=-5"}, blockLength, 30},
        {{"block_time_length=-0"}, blockLength, 60},
    });
}

TEST(ConfigLine, EveryCountKeyHasItsOwnDefaultForZero) {
    const std::vector<std::tuple<std::string, Getter, int64_t>> counts = {
        {"block_when_n", [](config& s) { return s.getBlockWhenN(); }, 1},
        {"block_agin_when_m", [](config& s) { return s.getBlockAginWhenM(); }, 1},
        {"block_time_length", [](config& s) { return s.getBlockTimeLength(); }, 60},
        {"block_max_time_len", [](config& s) { return s.getBlockMaxTimeLen(); }, 3600},
        {"self_learn_max_count", [](config& s) { return s.getSelfLearnMaxCount(); }, 10},
        {"tcp_conn_timeout", [](config& s) { return s.getTcpConnTimeout(); }, 120},
        {"max_logfile_size", [](config& s) { return s.getMaxLogfileSize(); }, 100},
        {"max_logfile_store_time", [](config& s) { return s.getMaxLogfileStoreTime(); }, 10},
    };
    for (const auto& [key, get, fallback] : counts) {
        expectAfterLines({{{key + "=7"}, get, 7}, {{key + "=7", key + "=0"}, get, fallback}});
    }
}

TEST(ConfigLine, MalformedLinesAndUnknownKeysChangeNothing) {
    for (const std::string& line : std::vector<std::string>{
             "run_mod = 1", "run_mod =1", "RUN_MOD=1", " run_mod=1", "=1", "run_mod", "[settings]",
             "ab", "a=", "unknown_key=1", std::string("run\0mod=1", 9), "run_mod\t=1"}) {
        config settings;
        settings.parseline(line);
        EXPECT_EQ(settings.getRunMod(), 2) << "line: " << line;
    }
}

TEST(ConfigLine, PortsOfBothKeysGoIntoOneListInOrder) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<uint16_t>>> cases = {
        {{"filt_http_port=80|8080", "filt_https_port=443"}, {80, 8080, 443}},
        {{"filt_http_port=80||0|x"}, {80}},
        {{"filt_http_port=80", "filt_http_port=80"}, {80, 80}},
        {{"filt_http_port=65535|65536|99999999999999999999|-1| 81|82x"}, {65535, 81, 82}},
        {{"filt_http_port="}, {}},
        {{"filt_http_port=|"}, {}},
        {{"filt_https_port=443|"}, {443}},
        {{"filt_http_port = 80"}, {}},
    };
    for (const auto& [lines, expected] : cases) {
        config settings;
        for (const std::string& line : lines) {
            settings.parseline(line);
        }
        EXPECT_EQ(settings.getPorts(), expected) << "lines: " << joined(lines);
    }
    config settings;
    settings.parseline("filt_http_port=80");
    settings.addPort(81);
    EXPECT_EQ(settings.getPorts(), (std::vector<uint16_t>{80, 81}));
}

TEST(ConfigLine, LastUpdateDateIsTakenAsItStands) {
    for (const std::string value : {"2026-01-02", "\"2026-01-02\"", " x ", ""}) {
        config settings;
        settings.parseline("last_update_date=" + value);
        EXPECT_EQ(settings.getLastUpdateDate(), value);
    }
}

TEST(ConfigLine, TracesTheValueTakenAndReportsClamping) {
    TempFolder folder;
    TraceCapture trace;
    {
        config settings;
        settings.parseline("run_mod=-1");
        settings.parseline("action_block=true");
        settings.parseline("block_time_length=0");
        settings.parseline("filt_http_port=80|x|8080");
        settings.parseline("max_logfile_size=99999999999");
        settings.parseline("last_update_date=2026-01-02");
    }
    const std::string text = trace.text();
    for (const char* expected : {"config constuct\n", "parseline runmod=2\n", "parseline block=0\n",
                                 "parseline blocklen=60\n", "parseline filt_http_port=80|x|8080\n",
                                 "parseline filt_http_port=80\n", "parseline filt_http_port=8080\n",
                                 "parseline maxlogfilesize: value clamped to 4294967295\n",
                                 "parseline maxlogfilesize=4294967295\n",
                                 "parseline last_update_date=2026-01-02\n", "config destoried\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "in:\n" << text;
    }
}

TEST(ConfigFile, MissingFileKeepsEveryDefault) {
    TempFolder folder;
    TraceCapture trace;
    config settings;
    EXPECT_EQ(settings.loadConfig(), -1);
    EXPECT_NE(trace.text().find("Failed to open ostrum.cfg !\n"), std::string::npos);
    EXPECT_EQ(settings.getRunMod(), 2);
    EXPECT_TRUE(settings.getWriteDetaillog());
    EXPECT_TRUE(settings.getActionBlock());
    EXPECT_TRUE(settings.getBlockWhenConn());
    EXPECT_FALSE(settings.getSelfLearn());
    EXPECT_TRUE(settings.getActiveWblist());
    EXPECT_TRUE(settings.getLimitConn());
    EXPECT_FALSE(settings.getAutoUpdateReport());
    EXPECT_EQ(settings.getBlockWhenN(), 1u);
    EXPECT_EQ(settings.getBlockAginWhenM(), 1u);
    EXPECT_EQ(settings.getBlockTimeLength(), 60u);
    EXPECT_EQ(settings.getBlockMaxTimeLen(), 3600u);
    EXPECT_FALSE(settings.getUseUtf8());
    EXPECT_EQ(settings.getMaxLogfileSize(), 100u);
    EXPECT_EQ(settings.getMaxLogfileStoreTime(), 10u);
    EXPECT_TRUE(settings.getPorts().empty());
    EXPECT_EQ(settings.getSelfLearnMaxCount(), 10u);
    EXPECT_EQ(settings.getLastUpdateDate(), "0");
    EXPECT_EQ(settings.getTcpConnTimeout(), 120u);
}

TEST(ConfigFile, FolderOfThatNameCannotBeRead) {
    TempFolder folder;
    std::filesystem::create_directory("ostrum.cfg");
    TraceCapture trace;
    config settings;
    EXPECT_EQ(settings.loadConfig(), -1);
    EXPECT_NE(trace.text().find("Failed to open ostrum.cfg !\n"), std::string::npos);
}

TEST(ConfigFile, ReadsEveryNonCommentLineOfEverySection) {
    TempFolder folder;
    writeFile("ostrum.cfg", "# head\r\n[setting]\r\nrun_mod=1\r\naction_block=0\r\n"
                            "[settings]\r\n[setting]x\r\nab\r\n[other]\r\nblock_time_length=30\r\n"
                            "ui_lan=-1\r\nwrite_detaillog=0\r\nlimit_conn=1");
    TraceCapture trace;
    config settings;
    EXPECT_EQ(settings.loadConfig(), 0);
    EXPECT_EQ(settings.getRunMod(), 1);
    EXPECT_FALSE(settings.getActionBlock());
    EXPECT_EQ(settings.getBlockTimeLength(), 30u) << "a key of another section is read";
    EXPECT_FALSE(settings.getWriteDetaillog());
    EXPECT_TRUE(settings.getLimitConn()) << "a last line without line end, CR dropped";
    const std::string text = trace.text();
    for (const char* expected :
         {"config comment:# head\n", "config comment:[setting]\n", "config comment:ab\n",
          "config line:[settings]\n", "config line:[setting]x\n", "config line:run_mod=1\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected << "in:\n" << text;
    }
}

TEST(ConfigFile, CarriageReturnsAreDroppedSoFlagsStillRead) {
    TempFolder folder;
    writeFile("ostrum.cfg", "[setting]\r\nself_learn=1\r\nuse_utf8=1\r\n");
    config settings;
    ASSERT_EQ(settings.loadConfig(), 0);
    EXPECT_TRUE(settings.getSelfLearn());
    EXPECT_TRUE(settings.getUseUtf8());
}

TEST(ConfigFile, BinaryBytesAreSkippedAndGoodLinesStillRead) {
    TempFolder folder;
    const char raw[] = "\x00\xff=1\nrun_mod=\x01\n\xfe\xfe\xfe\nblock_when_n=7\x00x\n=\n\n\r\r\r\n";
    writeFile("ostrum.cfg", std::string_view(raw, sizeof raw - 1));
    config settings;
    ASSERT_EQ(settings.loadConfig(), 0);
    EXPECT_EQ(settings.getRunMod(), 2);
    EXPECT_EQ(settings.getBlockWhenN(), 7u);
}

TEST(ConfigUpgradeRecord, ReplacesTheDateAndKeepsTheOtherLines) {
    TempFolder folder;
    const std::string base = folder.path().string();
    for (const std::string& where : {base, base + "/"}) {
        writeFile("ostrum.cfg", "# head\r\n[setting]\r\nrun_mod=1\r\nlast_update_date=0\r\n"
                                "[other]\r\nlast_update_date=keep\r\n");
        config settings;
        settings.writeUpgradeRecord("2026-03-04", where);
        EXPECT_EQ(settings.getLastUpdateDate(), "2026-03-04");
        EXPECT_EQ(readFile("ostrum.cfg"),
                  "# head\r\n[setting]\r\nrun_mod=1\r\nlast_update_date=2026-03-04\r\n"
                  "[other]\r\nlast_update_date=keep\r\n")
            << "folder: " << where;
    }
}

TEST(ConfigUpgradeRecord, AddsTheKeyAndReadsBackAtTheNextStart) {
    TempFolder folder;
    writeFile("ostrum.cfg", "[setting]\r\nrun_mod=0\r\n");
    config writer;
    writer.writeUpgradeRecord("2026-03-04", "");
    config reader;
    ASSERT_EQ(reader.loadConfig(), 0);
    EXPECT_EQ(reader.getRunMod(), 0);
    EXPECT_EQ(reader.getLastUpdateDate(), "2026-03-04");
}

// The daily write leaves the file as the operator set it up: owner, mode and link.
TEST(ConfigUpgradeRecord, KeepsTheFilesOwnerModeAndLink) {
    TempFolder folder;
    writeFile("real.cfg", "[setting]\r\nrun_mod=1\r\n");
    std::filesystem::create_symlink("real.cfg", "ostrum.cfg");
    ASSERT_EQ(chmod("real.cfg", 0664), 0);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown("real.cfg", 65534, 65534), 0);
    }
    config settings;
    settings.writeUpgradeRecord("2026-03-04", folder.path().string());
    EXPECT_TRUE(std::filesystem::is_symlink("ostrum.cfg"));
    EXPECT_EQ(readFile("real.cfg"), "[setting]\r\nrun_mod=1\r\nlast_update_date=2026-03-04\r\n");
    struct stat info {};
    ASSERT_EQ(stat("real.cfg", &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0664u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }
}

TEST(ConfigUpgradeRecord, FailedWriteIsTracedAndTheHeldDateStaysChanged) {
    TempFolder folder;
    TraceCapture trace;
    config settings;
    settings.writeUpgradeRecord("2026-03-04", (folder.path() / "missing").string());
    EXPECT_EQ(settings.getLastUpdateDate(), "2026-03-04");
    EXPECT_NE(trace.text().find("Failed to write upgrade record!"), std::string::npos);
}

} // namespace
} // namespace ostrum
