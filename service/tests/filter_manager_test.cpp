#include "platform/filter_report.h"
#include "platform/ini.h"
#include "service/filter_manager.h"
#include "service/tests/filter_fixture.h"

#include <array>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace ostrum {
namespace {

using testing::logTexts;
using testing::writeFile;

constexpr const char* kRules = "RAWRULE \"1,url,normal,find,block\" \"/etc/passwd\"\n";
constexpr const char* kPatchRules = "JIPRULE  5  site::80::/a.asp::g::id  any::0-3\n";
constexpr const char* kRanges = "CONNLIMIT  2  10.0.0.1-10.0.0.9  \"office\"\n";
constexpr const char* kLists = "BL_IP \"10.0.0.66\"\n";

class FilterManager : public ::testing::Test {
protected:
    void SetUp() override { fakenet::reset(); }

    void settings(const std::string& lines) { writeFile("ostrum.cfg", "[setting]\n" + lines); }
    void ruleFiles() {
        writeFile("RAWRULE.dat", kRules);
        writeFile("JIPRULE.dat", kPatchRules);
        writeFile("iprange.dat", kRanges);
        writeFile("wblist.dat", kLists);
    }
    std::vector<std::string> runLog() { return logTexts("log/ostrum.log"); }
    HttpFilter& filter() { return manager.filter(); }
    const fakenet::Calls& calls() { return fakenet::calls(); }

    testing::TempFolder folder;
    platform::FakeClock clock;
    filtermanager manager;
};

TEST_F(FilterManager, DisabledProtectionLoadsNothingButTheSettings) {
    settings("run_mod=3\n");
    ruleFiles();
    EXPECT_EQ(manager.start(), -1);
    EXPECT_EQ(runLog(), (std::vector<std::string>{"Failed to start.Ostrum was set to Disabled."}));
    EXPECT_TRUE(filter().rules().rules().empty());
    EXPECT_TRUE(filter().rules().ipRanges().empty());
    EXPECT_TRUE(filter().listEntries().empty());
    EXPECT_TRUE(calls().lifecycle.empty());
}

TEST_F(FilterManager, StartLoadsEverythingAndAttachesTheFilter) {
    settings("run_mod=1\nlimit_conn=0\nfilt_http_port=8080\n");
    ruleFiles();
    ASSERT_EQ(manager.start(), 0);
    EXPECT_EQ(filter().rules().rules().size(), 1u);
    EXPECT_EQ(filter().rules().constraints().size(), 1u);
    EXPECT_EQ(filter().rules().ipRanges().size(), 1u) << "read whatever limit_conn says";
    EXPECT_EQ(filter().listEntries().size(), 1u);
    EXPECT_EQ(calls().lifecycle, (std::vector<std::string>{"pf_init", "nf_init"}));
    EXPECT_EQ(calls().dataFolder, L"netfilter2");
    EXPECT_EQ(calls().sink, static_cast<ProtocolFilters::PFEvents*>(&filter()));
    EXPECT_EQ(calls().driverName, "ostrum2");
    EXPECT_EQ(calls().rulePorts, (std::vector<uint16_t>{8080}));
    EXPECT_EQ(runLog(), (std::vector<std::string>{"ostrum start!"}));
}

TEST_F(FilterManager, MissingFilesDoNotFailTheStart) {
    EXPECT_EQ(manager.start(), 0);
    EXPECT_EQ(runLog(), (std::vector<std::string>{"ostrum start!"}));
}

TEST_F(FilterManager, NoPortsMeansPortEightyInTheRuleAndTheSettings) {
    settings("run_mod=1\n");
    ASSERT_EQ(manager.start(), 0);
    EXPECT_EQ(filter().settings().getPorts(), (std::vector<uint16_t>{80}));
    ASSERT_EQ(calls().rules.size(), 1u);
    std::array<uint8_t, 83> expected{};
    expected[0] = 6;
    expected[8] = 1;
    expected[9] = 0;
    expected[10] = 80;
    expected[79] = 2;
    std::array<uint8_t, 83> actual{};
    static_assert(sizeof(nfapi::NF_RULE) == 83);
    std::memcpy(actual.data(), &calls().rules[0], actual.size());
    EXPECT_EQ(actual, expected);
}

TEST_F(FilterManager, EveryListedPortGetsARuleInListOrder) {
    settings("run_mod=1\nfilt_http_port=80|8080\nfilt_https_port=80\n");
    ASSERT_EQ(manager.start(), 0);
    EXPECT_EQ(calls().rulePorts, (std::vector<uint16_t>{80, 8080, 80}));
    // Packed fields are copied out before they are compared.
    for (const nfapi::NF_RULE& rule : calls().rules) {
        const int32_t protocol = rule.protocol;
        const uint8_t direction = rule.direction;
        const uint32_t flag = rule.filteringFlag;
        EXPECT_EQ(protocol, 6);
        EXPECT_EQ(direction, 1);
        EXPECT_EQ(flag, 2u);
    }
}

TEST_F(FilterManager, RefusedPortRuleIsLoggedAndTheOthersStillAdded) {
    settings("run_mod=1\nfilt_http_port=80|8080|443\n");
    fakenet::calls().ruleResults[8080] = nfapi::NF_STATUS_FAIL;
    ASSERT_EQ(manager.start(), 0);
    EXPECT_EQ(calls().rulePorts, (std::vector<uint16_t>{80, 8080, 443}));
    EXPECT_EQ(runLog(), (std::vector<std::string>{
                            "Failed to add driver rule for port 8080: refused by the stand-in",
                            "ostrum start!"}));
}

TEST_F(FilterManager, NoPortFilteredFailsTheStartAndDetaches) {
    settings("run_mod=1\nfilt_http_port=80|8080\n");
    fakenet::calls().ruleResults[80] = nfapi::NF_STATUS_IO_ERROR;
    fakenet::calls().ruleResults[8080] = nfapi::NF_STATUS_FAIL;
    EXPECT_EQ(manager.start(), -4);
    EXPECT_EQ(runLog(), (std::vector<std::string>{
                            "Failed to add driver rule for port 80: refused by the stand-in",
                            "Failed to add driver rule for port 8080: refused by the stand-in",
                            "Failed to start: no port could be filtered"}));
    EXPECT_EQ(calls().lifecycle,
              (std::vector<std::string>{"pf_init", "nf_init", "nf_free", "pf_free"}));
}

TEST_F(FilterManager, DescriptorShortageIsLoggedAtMostOnceAMinute) {
    using std::chrono::seconds;
    const auto start = std::chrono::steady_clock::time_point() + std::chrono::hours(1);
    manager.reportDescriptorShortage(start);
    platform::countDescriptorShortage();
    platform::countDescriptorShortage();
    manager.reportDescriptorShortage(start);
    platform::countDescriptorShortage();
    manager.reportDescriptorShortage(start + seconds(59));
    manager.reportDescriptorShortage(start + seconds(60));
    manager.reportDescriptorShortage(start + seconds(200));
    const std::string line = "Out of file descriptors: new connections wait to be accepted (";
    EXPECT_EQ(runLog(),
              (std::vector<std::string>{line + "2 failed accepts); raise the open-file limit",
                                        line + "1 failed accepts); raise the open-file limit"}));
}

TEST_F(FilterManager, ListFileIsReadOnlyWhenListsAreActive) {
    struct Case {
        const char* line;
        size_t entries;
    };
    for (const Case& c : {Case{"active_wblist=0\n", 0}, Case{"active_wblist=1\n", 1}}) {
        testing::TempFolder caseFolder;
        fakenet::reset();
        filtermanager local;
        settings(std::string("run_mod=1\n") + c.line);
        ruleFiles();
        ASSERT_EQ(local.start(), 0);
        EXPECT_EQ(local.filter().listEntries().size(), c.entries) << c.line;
    }
}

TEST_F(FilterManager, DriverFailuresAreNamedInTheRunLog) {
    struct Case {
        nfapi::NF_STATUS status;
        const char* line;
    };
    const Case cases[] = {
        {nfapi::NF_STATUS_FAIL, "Failed to connect to driver:NF_STATUS_FAIL"},
        {nfapi::NF_STATUS_INVALID_ENDPOINT_ID,
         "Failed to connect to driver:NF_STATUS_INVALID_ENDPOINT_ID"},
        {nfapi::NF_STATUS_NOT_INITIALIZED, "Failed to connect to driver:NF_STATUS_NOT_INITIALIZED"},
        {nfapi::NF_STATUS_IO_ERROR, "Failed to connect to driver:NF_STATUS_IO_ERROR"},
        {nfapi::NF_STATUS(-9), "Failed to connect to driver:unknown"},
        {nfapi::NF_STATUS(1), "Failed to connect to driver:unknown"},
    };
    for (const Case& c : cases) {
        testing::TempFolder caseFolder;
        fakenet::reset();
        fakenet::calls().driverResult = c.status;
        filtermanager local;
        EXPECT_EQ(local.start(), -3) << c.line;
        EXPECT_EQ(logTexts("log/ostrum.log"), (std::vector<std::string>{c.line}));
        EXPECT_EQ(fakenet::calls().lifecycle, (std::vector<std::string>{"pf_init", "nf_init"}))
            << "the protocol filter stays initialised";
        EXPECT_TRUE(fakenet::calls().rules.empty()) << c.line;
    }
}

TEST_F(FilterManager, ProtocolFilterFailureStopsBeforeTheDriver) {
    fakenet::calls().initResult = 0;
    EXPECT_EQ(manager.start(), -2);
    EXPECT_EQ(runLog(), (std::vector<std::string>{"Failed to initialize protocol filter"}));
    EXPECT_EQ(calls().lifecycle, (std::vector<std::string>{"pf_init"}));
}

TEST_F(FilterManager, StopFreesTheDriverFirst) {
    ASSERT_EQ(manager.start(), 0);
    fakenet::reset();
    EXPECT_EQ(manager.stop(), 0);
    EXPECT_EQ(calls().lifecycle, (std::vector<std::string>{"nf_free", "pf_free"}));
    EXPECT_EQ(runLog().back(), "ostrum stop!");
}

TEST_F(FilterManager, ResetAttachesAgainWithoutReloading) {
    settings("run_mod=1\nfilt_http_port=8080\n");
    ruleFiles();
    ASSERT_EQ(manager.start(), 0);
    writeFile("RAWRULE.dat", std::string(kRules) + kRules);
    settings("run_mod=3\n");
    fakenet::reset();
    manager.reset();
    EXPECT_EQ(calls().lifecycle,
              (std::vector<std::string>{"nf_free", "pf_free", "pf_init", "nf_init"}));
    EXPECT_EQ(calls().rulePorts, (std::vector<uint16_t>{8080}));
    EXPECT_EQ(filter().rules().rules().size(), 1u);
    EXPECT_EQ(runLog().back(), "reset netfilter!");

    fakenet::reset();
    fakenet::calls().driverResult = nfapi::NF_STATUS_IO_ERROR;
    manager.reset();
    EXPECT_EQ(runLog().back(), "Failed to connect to driver:NF_STATUS_IO_ERROR");
    EXPECT_TRUE(calls().rules.empty());
}

TEST_F(FilterManager, UpdateGate) {
    struct Case {
        const char* lines;
        bool noUpdate;
    };
    const Case cases[] = {
        {"auto_update_report=0\nlast_update_date=0\n", true},
        {"auto_update_report=0\nlast_update_date=2026-01-02\n", true},
        {"auto_update_report=1\nlast_update_date=0\n", false},
        {"auto_update_report=1\nlast_update_date=2026-01-01\n", false},
        {"auto_update_report=1\nlast_update_date=2026-01-02\n", true},
        {"auto_update_report=1\nlast_update_date=2026-01-02 \n", false},
    };
    for (const Case& c : cases) {
        testing::TempFolder caseFolder;
        filtermanager local;
        settings(c.lines);
        local.filter().reloadConfig();
        EXPECT_EQ(local.noUpdateNeeded(), c.noUpdate) << c.lines;
    }
}

TEST_F(FilterManager, CheckUpdatesRecordsTheDateAndClosesTheGate) {
    settings("auto_update_report=1\nlast_update_date=0\n");
    filter().reloadConfig();
    ASSERT_FALSE(manager.noUpdateNeeded());
    manager.checkUpdates("2026-01-02", ".");
    EXPECT_TRUE(manager.noUpdateNeeded());
    EXPECT_EQ(runLog(), (std::vector<std::string>{"Check updates and reporte logs."}));
    EXPECT_EQ(platform::readProfileString("setting", "last_update_date", "", "./ostrum.cfg"),
              "2026-01-02");
}

TEST_F(FilterManager, WriteLogWritesOneRunLogLine) {
    EXPECT_EQ(manager.writeLog("hello run log"), 0);
    EXPECT_EQ(manager.writeLog(nullptr), 0);
    EXPECT_EQ(runLog(), (std::vector<std::string>{"hello run log"}));
}

} // namespace
} // namespace ostrum
