#include "harness.h"
#include "platform/socket_address.h"
#include "test_sink.h"
#include "test_upstream.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <thread>

namespace {

using namespace nftest;

std::string randomBytes(size_t size) {
    std::mt19937 random(size);
    std::string bytes(size, '\0');
    for (char& c : bytes) {
        c = char(random());
    }
    return bytes;
}

TEST(Tunnel, PassesBytesBothWaysUnchangedAndHalfCloses) {
    TestUpstream upstream(TestUpstream::Mode::Echo);
    TestSink sink;
    sink.filterHttp = false;
    Harness layer(sink, upstream.port());
    ASSERT_EQ(layer.ruleResult(), nfapi::NF_STATUS_SUCCESS);

    const std::string bytes = randomBytes(300000);
    Client client(layer.port());
    client.send(bytes);
    client.shutdownSend(); // the echo still comes back
    EXPECT_EQ(client.readAll(), bytes);
    EXPECT_EQ(upstream.allReceived(), bytes);
    ASSERT_TRUE(sink.waitForClosed(1));
    EXPECT_EQ(sink.connected(), sink.closed());
    EXPECT_TRUE(sink.parts().empty());
    EXPECT_TRUE(sink.notices().empty()); // notices belong to filtered connections
}

TEST(Tunnel, TlsLookingBytesOnAFilteredConnectionAreTunnelled) {
    TestUpstream upstream(TestUpstream::Mode::Echo);
    TestSink sink;
    Harness layer(sink, upstream.port());
    const std::string hello = "\x16\x03\x01\x00\xa5\x01\x00\x00\xa1\x03\x03" + randomBytes(5000);
    Client client(layer.port());
    client.send(hello);
    client.shutdownSend();
    EXPECT_EQ(client.readAll(), hello);
    EXPECT_EQ(upstream.allReceived(), hello);
    EXPECT_TRUE(sink.parts().empty());
    EXPECT_TRUE(sink.requests().empty());
}

TEST(Tunnel, ClosedInTcpConnectedNeverReachesTheServer) {
    TestUpstream upstream(TestUpstream::Mode::Echo);
    TestSink sink;
    sink.closeOnConnect = true;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("GET / HTTP/1.1\r\n\r\n");
    EXPECT_EQ(client.readAll(), "");
    ASSERT_TRUE(sink.waitForClosed(1));
    EXPECT_EQ(sink.connected(), sink.closed());
    EXPECT_TRUE(upstream.received().empty());
}

TEST(Tunnel, UnreachableServerClosesTheClient) {
    TestSink sink;
    sink.filterHttp = false;
    Harness layer(sink, freePort());
    Client client(layer.port());
    client.send("anything");
    EXPECT_EQ(client.readAll(), "");
    EXPECT_TRUE(sink.waitForClosed(1));
}

// Every accepted connection, tunnelled or filtered, is reported connected
// first and closed exactly once, with what the service needs to know of it.
TEST(Tunnel, ConnectedAndClosedPairUnderManyParallelConnections) {
    TestUpstream upstream(TestUpstream::Mode::Http);
    TestSink sink;
    std::atomic<int> turn{0};
    sink.onPart = [](const Seen&) { return int(ProtocolFilters::DPCR_FILTER); };
    Harness layer(sink, upstream.port(), "threads=4");
    constexpr int kThreads = 16;
    constexpr int kEach = 12;
    std::atomic<int> answered{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < kThreads; ++t) {
        clients.emplace_back([&, t] {
            for (int i = 0; i < kEach; ++i) {
                Client client(layer.port());
                const std::string target = "/t" + std::to_string(t) + "-" + std::to_string(i);
                client.send("GET " + target + " HTTP/1.1\r\nHost: h\r\n\r\n");
                if (turn++ % 3 == 0) {
                    continue; // gone before the answer
                }
                if (client.readResponse().find("GET " + target + " 0\n") != std::string::npos) {
                    ++answered;
                }
            }
        });
    }
    for (std::thread& client : clients) {
        client.join();
    }
    const size_t total = kThreads * kEach;
    ASSERT_TRUE(sink.waitForClosed(total));
    std::vector<uint64_t> connected = sink.connected();
    std::vector<uint64_t> closed = sink.closed();
    std::sort(connected.begin(), connected.end());
    std::sort(closed.begin(), closed.end());
    EXPECT_EQ(connected.size(), total);
    EXPECT_EQ(std::set<uint64_t>(connected.begin(), connected.end()).size(), total);
    EXPECT_EQ(closed, connected);
    EXPECT_EQ(sink.eventsAfterClose(), 0u);
    EXPECT_EQ(answered.load(), int(total) - int(total + 2) / 3);
    const std::string local = "127.0.0.1:" + std::to_string(layer.port());
    for (const nfapi::TcpConnInfo& info : sink.infos()) {
        const uint32_t flag = info.filteringFlag;
        EXPECT_EQ(flag, nfapi::NF_FILTER);
        EXPECT_EQ(info.direction, nfapi::NF_D_IN);
        EXPECT_EQ(platform::socketAddressText(info.localAddress, nfapi::NF_MAX_ADDRESS_LENGTH), local);
        EXPECT_EQ(platform::socketAddressText(info.remoteAddress, nfapi::NF_MAX_ADDRESS_LENGTH).rfind("127.0.0.1:", 0), 0u);
    }
}

} // namespace
