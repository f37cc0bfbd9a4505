#include "harness.h"
#include "test_sink.h"
#include "test_upstream.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

using namespace nftest;

uint16_t portOf(int fd, bool peer) {
    sockaddr_in address{};
    socklen_t length = sizeof address;
    sockaddr* raw = reinterpret_cast<sockaddr*>(&address);
    const int result = peer ? getpeername(fd, raw, &length) : getsockname(fd, raw, &length);
    return result == 0 && address.sin_family == AF_INET ? ntohs(address.sin_port) : 0;
}

bool canConnect(uint16_t port) {
    boost::asio::io_context context;
    boost::asio::ip::tcp::socket socket(context);
    boost::system::error_code error;
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port}, error);
    return !error;
}

TEST(Lifecycle, FreeEndsEveryConnectionAndEveryEventBeforeItReturns) {
    TestUpstream upstream;
    TestSink sink;
    auto layer = std::make_unique<Harness>(sink, upstream.port());
    const uint16_t port = layer->port();
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < 6; ++i) {
        clients.push_back(std::make_unique<Client>(port));
        // Held by the filter: the body has not all come.
        clients.back()->send("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 100\r\n\r\nsome");
    }
    ASSERT_TRUE(eventually([&] { return sink.parts().size() == clients.size(); }));
    nfapi::nf_free();
    const size_t connected = sink.connected().size();
    EXPECT_EQ(connected, clients.size());
    EXPECT_EQ(sink.closed().size(), connected); // each one reported on the way out
    for (const auto& client : clients) {
        client->send(std::string(96, 'x'));
        EXPECT_EQ(client->readAll(), "");
    }
    EXPECT_EQ(sink.parts().size(), clients.size());
    EXPECT_EQ(sink.closed().size(), connected);
    EXPECT_EQ(sink.eventsAfterClose(), 0u);
    EXPECT_FALSE(canConnect(port));
    layer.reset(); // nf_free and pf_free once more: nothing left to do
}

TEST(Lifecycle, ASecondStartAfterFreeServesAgain) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    nfapi::nf_free();
    ProtocolFilters::pf_free();
    const std::wstring folder(layer.folder().begin(), layer.folder().end());
    ASSERT_NE(ProtocolFilters::pf_init(&sink, folder.c_str()), 0);
    ASSERT_EQ(nfapi::nf_init("ostrum2", ProtocolFilters::pf_getNFEventHandler()),
              nfapi::NF_STATUS_SUCCESS);
    nfapi::NF_RULE rule = ruleFor(layer.port());
    ASSERT_EQ(nfapi::nf_addRule(&rule, 1), nfapi::NF_STATUS_SUCCESS);
    Client client(layer.port());
    client.send("GET /again HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_NE(client.readResponse().find("GET /again 0\n"), std::string::npos);
}

TEST(Lifecycle, FailuresAreReportedNotHidden) {
    TestUpstream upstream;
    TestSink sink;
    nfapi::NF_RULE early = ruleFor(freePort());
    EXPECT_EQ(nfapi::nf_addRule(&early, 1), nfapi::NF_STATUS_NOT_INITIALIZED);
    EXPECT_EQ(ProtocolFilters::pf_init(&sink, L"/nonexistent-ostrum-folder"), 0);
    EXPECT_EQ(nfapi::nf_init("ostrum2", ProtocolFilters::pf_getNFEventHandler()),
              nfapi::NF_STATUS_NOT_INITIALIZED);

    Harness layer(sink, upstream.port());
    ASSERT_EQ(layer.ruleResult(), nfapi::NF_STATUS_SUCCESS);
    EXPECT_EQ(nfapi::nf_init("ostrum2", ProtocolFilters::pf_getNFEventHandler()),
              nfapi::NF_STATUS_FAIL); // already running
    nfapi::NF_RULE again = ruleFor(layer.port());
    EXPECT_EQ(nfapi::nf_addRule(&again, 1), nfapi::NF_STATUS_SUCCESS);
    nfapi::NF_RULE unknown = ruleFor(freePort());
    EXPECT_EQ(nfapi::nf_addRule(&unknown, 1), nfapi::NF_STATUS_FAIL); // no [upstream] entry
    nfapi::NF_RULE outbound = ruleFor(layer.port());
    outbound.direction = 2;
    EXPECT_EQ(nfapi::nf_addRule(&outbound, 1), nfapi::NF_STATUS_FAIL);

    boost::asio::io_context context;
    boost::asio::ip::tcp::acceptor taken(context, {boost::asio::ip::make_address("127.0.0.1"), 0});
    const uint16_t busy = taken.local_endpoint().port();
    std::ofstream(layer.folder() + "/netfilter.ini", std::ios::app)
        << "[upstream]\n"
        << busy << "=127.0.0.1:" << upstream.port() << "\n";
    nfapi::NF_RULE bound = ruleFor(busy);
    EXPECT_EQ(nfapi::nf_addRule(&bound, 1), nfapi::NF_STATUS_IO_ERROR);

    EXPECT_EQ(nfapi::nf_tcpClose(999999999), nfapi::NF_STATUS_INVALID_ENDPOINT_ID);
    EXPECT_FALSE(ProtocolFilters::pf_postObject(999999999, nullptr));
    EXPECT_EQ(ProtocolFilters::pf_getFilterCount(999999999), 0);
}

// pf_addFilter counts only inside tcpConnected; the filter count follows it.
class CountingSink : public TestSink {
public:
    void tcpConnected(uint64_t id, nfapi::TcpConnInfo* info) override {
        TestSink::tcpConnected(id, info);
        countInside = ProtocolFilters::pf_getFilterCount(id);
    }
    int dataPartAvailable(uint64_t id, ProtocolFilters::PFObject* object) override {
        lateFilter = ProtocolFilters::pf_addFilter(id, ProtocolFilters::FT_HTTP, 2);
        return TestSink::dataPartAvailable(id, object);
    }
    std::atomic<int> countInside{-1};
    std::atomic<bool> lateFilter{true};
};

TEST(Lifecycle, FilterIsChosenWhenTheConnectionOpens) {
    TestUpstream upstream;
    CountingSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_FALSE(client.readResponse().empty());
    EXPECT_EQ(sink.countInside.load(), 1);
    EXPECT_FALSE(sink.lateFilter.load());
}

TEST(Lifecycle, TunnelledConnectionHasNoFilter) {
    TestUpstream upstream(TestUpstream::Mode::Echo);
    CountingSink sink;
    sink.filterHttp = false;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("x");
    client.shutdownSend();
    EXPECT_EQ(client.readAll(), "x");
    EXPECT_EQ(sink.countInside.load(), 0);
}

// A program the service starts must not hold a client's or the web
// server's connection open after the service has let it go.
TEST(Lifecycle, TheLayersConnectionsAreClosedOnExec) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    ASSERT_FALSE(client.readResponse().empty());
    int clientSides = 0;
    int serverSides = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        const int fd = std::stoi(entry.path().filename().string());
        const bool clientSide = portOf(fd, false) == layer.port() && portOf(fd, true) != 0;
        const bool serverSide = portOf(fd, true) == upstream.port();
        if (clientSide || serverSide) {
            EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0) << (clientSide ? "client" : "server");
            clientSides += clientSide ? 1 : 0;
            serverSides += serverSide ? 1 : 0;
        }
    }
    EXPECT_EQ(clientSides, 1);
    EXPECT_EQ(serverSides, 1);
}

} // namespace
