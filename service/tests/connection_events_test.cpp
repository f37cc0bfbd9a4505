#include "service/tests/filter_fixture.h"
#include "service/tests/memory_object.h"
#include "service/tests/trace_capture.h"

#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

namespace ostrum {
namespace {

using testing::inboundInfo;
using testing::inboundInfo6;
using testing::MemoryObject;

class ConnectionEvents : public testing::FilterTest {
protected:
    void connect(uint64_t id, nfapi::TcpConnInfo info) { filter.tcpConnected(id, &info); }
    void close(uint64_t id, nfapi::TcpConnInfo info) { filter.tcpClosed(id, &info); }
    void limitRange(const char* line) { ASSERT_TRUE(filter.rules().addiprangestr(line)); }
    uint32_t rangeCount() { return filter.rules().ipRanges().at(0).connednum; }
};

TEST_F(ConnectionEvents, RecordsAddressesAndHandsTheConnectionToTheHttpFilter) {
    connect(7, inboundInfo("10.0.0.1", 40000));
    const std::optional<connrecord> record = filter.connection(7);
    ASSERT_TRUE(record);
    EXPECT_EQ(record->clientip, "10.0.0.1");
    EXPECT_EQ(record->clientport, "40000");
    EXPECT_EQ(record->serverip, "192.168.1.2");
    EXPECT_EQ(record->serverport, "80");
    EXPECT_EQ(record->clientaddr, 0x0A000001u);
    ASSERT_EQ(fakenet::calls().filterCalls.size(), 1u);
    const fakenet::AddedFilter& added = fakenet::calls().filterCalls[0];
    EXPECT_EQ(added.id, 7u);
    EXPECT_EQ(added.type, ProtocolFilters::FT_HTTP);
    EXPECT_EQ(added.flags, 2u);
    EXPECT_EQ(added.target, ProtocolFilters::OT_NEXT);
    EXPECT_EQ(added.typeBase, ProtocolFilters::FT_NONE);
    EXPECT_TRUE(fakenet::calls().closed.empty());
}

TEST_F(ConnectionEvents, Ipv6ClientKeepsItsBracketsAndIsNeverCounted) {
    limitRange(R"(CONNLIMIT  1  0.0.0.0-255.255.255.255  "all")");
    connect(1, inboundInfo6("2001:db8::1", 40000));
    connect(2, inboundInfo6("2001:db8::1", 40001));
    for (const uint64_t id : {1u, 2u}) {
        const std::optional<connrecord> record = filter.connection(id);
        ASSERT_TRUE(record) << id;
        EXPECT_EQ(record->clientip, "[2001:db8::1]");
        EXPECT_EQ(record->serverip, "[2001:db8::2]");
        EXPECT_EQ(record->serverport, "80");
        EXPECT_EQ(record->clientaddr, 0u);
        EXPECT_FALSE(record->counted);
    }
    EXPECT_EQ(rangeCount(), 0u);
    EXPECT_EQ(fakenet::calls().filtered.size(), 2u);
    close(1, inboundInfo6("2001:db8::1"));
    EXPECT_EQ(rangeCount(), 0u);
}

TEST_F(ConnectionEvents, OverTheLimitWithBlockingOffIsServedButNeverCounted) {
    apply({"run_mod=2"});
    limitRange(R"(CONNLIMIT  1  10.0.0.1-10.0.0.9  "office")");
    connect(1, inboundInfo("10.0.0.1"));
    connect(2, inboundInfo("10.0.0.2"));
    EXPECT_EQ(rangeCount(), 1u);
    EXPECT_TRUE(filter.connection(1)->counted);
    EXPECT_FALSE(filter.connection(2)->counted);
    EXPECT_EQ(fakenet::calls().filtered, (std::vector<uint64_t>{1, 2}));
    EXPECT_TRUE(fakenet::calls().closed.empty());
    close(2, inboundInfo("10.0.0.2"));
    EXPECT_EQ(rangeCount(), 1u) << "the refused connection must not count down";
    close(1, inboundInfo("10.0.0.1"));
    EXPECT_EQ(rangeCount(), 0u);
    EXPECT_TRUE(filter.ip2map.empty());
}

TEST_F(ConnectionEvents, OverTheLimitWithBlockingOnIsClosedAndKeepsItsRecord) {
    apply({"run_mod=1"});
    limitRange(R"(CONNLIMIT  1  10.0.0.1-10.0.0.9  "office")");
    connect(1, inboundInfo("10.0.0.1"));
    connect(2, inboundInfo("10.0.0.2"));
    EXPECT_EQ(fakenet::calls().closed, (std::vector<uint64_t>{2}));
    EXPECT_EQ(fakenet::calls().filtered, (std::vector<uint64_t>{1}));
    ASSERT_TRUE(filter.connection(2));
    EXPECT_EQ(runLog(),
              (std::vector<std::string>{"10.0.0.2 connect too much (>1),block on tcpConnected!"}));
    close(2, inboundInfo("10.0.0.2"));
    EXPECT_EQ(rangeCount(), 1u);
    EXPECT_FALSE(filter.connection(2));
}

TEST_F(ConnectionEvents, LimitsOffCountNothing) {
    apply({"limit_conn=0"});
    limitRange(R"(CONNLIMIT  1  10.0.0.1-10.0.0.9  "office")");
    connect(1, inboundInfo("10.0.0.1"));
    connect(2, inboundInfo("10.0.0.2"));
    EXPECT_EQ(rangeCount(), 0u);
    EXPECT_EQ(fakenet::calls().filtered.size(), 2u);
}

TEST_F(ConnectionEvents, ListedClients) {
    struct Case {
        const char* lists;
        const char* mode;
        bool recorded;
        bool closed;
        const char* logLine;
    };
    const Case cases[] = {
        {"WL_IP \"10.0.0.1\"\nBL_IP \"10.0.0.1\"\n", "run_mod=1", false, false, nullptr},
        {"BL_IP \"10.0.0.1\"\n", "run_mod=1", false, true,
         "10.0.0.1 in BL_IP,block on tcpConnected!"},
        {"BL_IP \"10.0.0.1\"\n", "run_mod=2", true, false, nullptr},
        {"WL_IP \"10.0.0.1\"\n", "run_mod=1", false, false, nullptr},
    };
    for (const Case& c : cases) {
        testing::TempFolder caseFolder;
        fakenet::reset();
        testing::TableFilter listed;
        listed.settings().parseline(c.mode);
        testing::writeFile("wblist.dat", c.lists);
        ASSERT_EQ(listed.loadWbList(), 0);
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1");
        listed.tcpConnected(5, &info);
        EXPECT_EQ(listed.connection(5).has_value(), c.recorded) << c.lists << c.mode;
        EXPECT_EQ(fakenet::calls().filtered.size(), c.recorded ? 1u : 0u) << c.lists << c.mode;
        EXPECT_EQ(fakenet::calls().closed.size(), c.closed ? 1u : 0u) << c.lists << c.mode;
        const std::vector<std::string> log = testing::logTexts("log/ostrum.log");
        if (c.logLine != nullptr) {
            EXPECT_EQ(log, (std::vector<std::string>{c.logLine})) << c.lists << c.mode;
        } else {
            EXPECT_TRUE(log.empty()) << c.lists << c.mode;
        }
    }
}

TEST_F(ConnectionEvents, BlockedClientIsClosedAndKeepsItsRecord) {
    apply({"run_mod=1"});
    ASSERT_EQ(filter.recordAttack("10.0.0.1"), 1);
    connect(3, inboundInfo("10.0.0.1"));
    EXPECT_EQ(fakenet::calls().closed, (std::vector<uint64_t>{3}));
    EXPECT_TRUE(fakenet::calls().filtered.empty());
    EXPECT_TRUE(filter.connection(3));
    const std::vector<std::string> log = runLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), "10.0.0.1\tblock on tcpConnected!");
}

TEST_F(ConnectionEvents, SecondConnectReplacesTheRecordAndGivesBackItsCount) {
    limitRange(R"(CONNLIMIT  5  10.0.0.1-10.0.0.9  "office")");
    connect(4, inboundInfo("10.0.0.1", 1111));
    connect(4, inboundInfo("10.0.0.2", 2222));
    ASSERT_EQ(filter.ip2map.size(), 1u);
    EXPECT_EQ(filter.connection(4)->clientip, "10.0.0.2");
    EXPECT_EQ(filter.connection(4)->clientport, "2222");
    EXPECT_EQ(rangeCount(), 1u);
    close(4, inboundInfo("10.0.0.2"));
    EXPECT_EQ(rangeCount(), 0u);
}

TEST_F(ConnectionEvents, IgnoredConnections) {
    struct Case {
        const char* what;
        uint32_t flag;
        uint8_t direction;
    };
    const Case cases[] = {
        {"outbound", nfapi::NF_FILTER, 0},
        {"outbound, other direction", nfapi::NF_FILTER, 2},
        {"flag 0", 0, nfapi::NF_D_IN},
        {"flag 1", 1, nfapi::NF_D_IN},
    };
    for (const Case& c : cases) {
        fakenet::reset();
        nfapi::TcpConnInfo info = inboundInfo("10.0.0.1");
        info.filteringFlag = c.flag;
        info.direction = c.direction;
        filter.tcpConnected(9, &info);
        EXPECT_FALSE(filter.connection(9)) << c.what;
        EXPECT_TRUE(fakenet::calls().filtered.empty()) << c.what;
        filter.tcpClosed(9, &info);
    }
    filter.tcpConnected(9, nullptr);
    filter.tcpClosed(9, nullptr);
    EXPECT_TRUE(filter.ip2map.empty());
}

TEST_F(ConnectionEvents, FlagWithMoreBitsThanTwoIsFiltered) {
    nfapi::TcpConnInfo info = inboundInfo("10.0.0.1");
    info.filteringFlag = 3;
    filter.tcpConnected(9, &info);
    EXPECT_TRUE(filter.connection(9));
}

TEST_F(ConnectionEvents, OutboundCloseLeavesTheRecord) {
    connect(6, inboundInfo("10.0.0.1"));
    nfapi::TcpConnInfo outbound = inboundInfo("10.0.0.1");
    outbound.direction = 0;
    filter.tcpClosed(6, &outbound);
    EXPECT_TRUE(filter.connection(6));
    close(6, inboundInfo("10.0.0.1"));
    EXPECT_FALSE(filter.connection(6));
    close(6, inboundInfo("10.0.0.1"));
}

TEST_F(ConnectionEvents, DisconnectNoticesRemoveTheRecordOnce) {
    limitRange(R"(CONNLIMIT  5  10.0.0.1-10.0.0.9  "office")");
    for (const int type :
         {ProtocolFilters::OT_TCP_DISCONNECT_LOCAL, ProtocolFilters::OT_TCP_DISCONNECT_REMOTE}) {
        fakenet::reset();
        connect(8, inboundInfo("10.0.0.1"));
        ASSERT_EQ(rangeCount(), 1u) << type;
        MemoryObject notice(type);
        filter.dataAvailable(8, &notice);
        EXPECT_FALSE(filter.connection(8)) << type;
        EXPECT_EQ(rangeCount(), 0u) << type;
        EXPECT_EQ(fakenet::calls().posted, (std::vector<uint64_t>{8})) << type;
        close(8, inboundInfo("10.0.0.1"));
        EXPECT_EQ(rangeCount(), 0u) << type;
    }
}

TEST_F(ConnectionEvents, OtherObjectTypesArePassedOnAndRemoveNothing) {
    connect(8, inboundInfo("10.0.0.1"));
    MemoryObject other(ProtocolFilters::OT_NULL);
    filter.dataAvailable(8, &other);
    EXPECT_TRUE(filter.connection(8));
    EXPECT_EQ(fakenet::calls().posted, (std::vector<uint64_t>{8}));
    EXPECT_EQ(filter.dataPartAvailable(8, &other), ProtocolFilters::DPCR_BYPASS);
}

TEST_F(ConnectionEvents, PostedDataDisablesFilteringOnlyWithoutFilters) {
    for (const int count : {0, 1}) {
        fakenet::reset();
        fakenet::calls().filterCount = count;
        EXPECT_EQ(filter.tcpPostSend(3, "out", 3), nfapi::NF_STATUS_SUCCESS);
        EXPECT_EQ(filter.tcpPostReceive(3, "in!", 3), nfapi::NF_STATUS_SUCCESS);
        const fakenet::Calls& calls = fakenet::calls();
        EXPECT_EQ(calls.filteringDisabled.size(), count == 0 ? 2u : 0u) << count;
        ASSERT_EQ(calls.sent.size(), 1u);
        EXPECT_EQ(calls.sent[0].second, "out");
        ASSERT_EQ(calls.received.size(), 1u);
        EXPECT_EQ(calls.received[0].second, "in!");
    }
}

TEST_F(ConnectionEvents, TracesTellTheConnectionsStory) {
    testing::TraceCapture trace;
    limitRange(R"(CONNLIMIT  5  10.0.0.1-10.0.0.9  "office")");
    connect(7, inboundInfo("10.0.0.1", 40000));
    close(7, inboundInfo("10.0.0.1"));
    connect(8, inboundInfo("10.0.0.2", 40001));
    MemoryObject notice(ProtocolFilters::OT_TCP_DISCONNECT_LOCAL);
    filter.dataAvailable(8, &notice);
    const std::string text = trace.text();
    for (const char* expected :
         {"new http connection.id=7, client ip=10.0.0.1,client port=40000,server "
          "ip=192.168.1.2,server port=80\n",
          "10.0.0.1 addipconn _ccount=0\n", "tcpClosed,10.0.0.1 decipconn _ccount=0\n",
          "tcpClosed,http closed.remove ip2map!,ip=10.0.0.1 id=7\n\n",
          "dataAvailable, object->getType()=1\n", "dataAvailable,10.0.0.2 decipconn _ccount=0\n",
          "dataAvailable,get DISCONNECT message,remove ip2map!\n\n"}) {
        EXPECT_NE(text.find(expected), std::string::npos) << expected;
    }
}

// Opens and closes from several threads: every count given back, no record left.
TEST_F(ConnectionEvents, ConcurrentOpenAndCloseBalanceTheRangeCount) {
    limitRange(R"(CONNLIMIT  100000  10.0.0.0-10.0.0.255  "lan")");
    constexpr uint64_t kPerThread = 500;
    std::vector<std::thread> threads;
    for (uint64_t t = 0; t < 4; ++t) {
        threads.emplace_back([this, t] {
            for (uint64_t i = 0; i < kPerThread; ++i) {
                const uint64_t id = t * kPerThread + i;
                nfapi::TcpConnInfo info = inboundInfo("10.0.0.7", uint16_t(1000 + id));
                filter.tcpConnected(id, &info);
                if (i % 2 == 0) {
                    filter.tcpClosed(id, &info);
                } else {
                    MemoryObject notice(ProtocolFilters::OT_TCP_DISCONNECT_REMOTE);
                    filter.dataAvailable(id, &notice);
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(rangeCount(), 0u);
    EXPECT_TRUE(filter.ip2map.empty());
}

} // namespace
} // namespace ostrum
