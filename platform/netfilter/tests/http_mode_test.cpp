#include "harness.h"
#include "test_sink.h"
#include "test_upstream.h"

#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace nftest;
using namespace std::string_literals;
using ProtocolFilters::DPCR_BLOCK;
using ProtocolFilters::DPCR_BYPASS;
using ProtocolFilters::DPCR_FILTER;

std::string bodyOf(const std::string& response) {
    const size_t end = response.find("\r\n\r\n");
    return end == std::string::npos ? "" : response.substr(end + 4);
}

TEST(HttpMode, StreamsHoldTheRequestAsReceivedAndTheBodyDechunked) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    const std::string line = "POST /form?a=1 HTTP/1.1\r\n";
    const std::string header = "Host:  example.test \r\nX-odd:\tvalue\r\n"
                               "Transfer-Encoding: chunked\r\n\r\n";
    const std::string chunks = "4;ext=1\r\nWiki\r\n5\r\npedia\r\n0\r\nTrailer: t\r\n\r\n";
    Client client(layer.port());
    client.send(line + header + chunks);
    const std::string response = client.readResponse();
    EXPECT_EQ(bodyOf(response), "POST /form?a=1 9\n");

    const std::vector<Seen> requests = sink.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].line, line);
    EXPECT_EQ(requests[0].header, header);
    EXPECT_EQ(requests[0].body, "Wikipedia");
    ASSERT_FALSE(sink.parts().empty());
    EXPECT_EQ(sink.parts().back().header, header);
    EXPECT_EQ(upstream.allReceived(), line + header + chunks); // exactly as received
}

struct PartCase {
    const char* name;
    std::vector<int> answers; // what dataPartAvailable says, call by call
    size_t parts;             // calls expected
    size_t requests;          // dataAvailable calls expected
    bool served;
};

class DataPartTest : public ::testing::TestWithParam<PartCase> {};

// The body comes in two parts; the filter is asked after each, until it
// lets the request through (3) or closes it (4).
TEST_P(DataPartTest, FilterIsAskedUntilItDecides) {
    const PartCase& c = GetParam();
    TestUpstream upstream;
    TestSink sink;
    sink.onPart = [&c, &sink](const Seen& seen) {
        const size_t call = sink.parts().size() - 1;
        const int answer = c.answers[std::min(call, c.answers.size() - 1)];
        if (answer == DPCR_BLOCK) {
            nfapi::nf_tcpClose(seen.id);
        }
        return answer;
    };
    Harness layer(sink, upstream.port());
    const std::string head = "POST /p HTTP/1.1\r\nHost: h\r\nContent-Length: 10\r\n\r\n";
    Client client(layer.port());
    client.send(head + "01234");
    ASSERT_TRUE(eventually([&] { return !sink.parts().empty() || !sink.closed().empty(); }));
    client.send("56789");
    const std::string response = client.readResponse();
    EXPECT_EQ(bodyOf(response), c.served ? "POST /p 10\n" : "") << c.name;
    EXPECT_EQ(sink.parts().size(), c.parts) << c.name;
    EXPECT_EQ(sink.requests().size(), c.requests) << c.name;
    EXPECT_EQ(upstream.allReceived(), c.served ? head + "0123456789" : "") << c.name;
    if (c.requests == 1) {
        EXPECT_EQ(sink.requests()[0].body, "0123456789") << c.name;
        EXPECT_EQ(sink.parts()[0].body, "01234") << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, DataPartTest,
    ::testing::Values(PartCase{"hold", {DPCR_FILTER}, 2, 1, true},
                      PartCase{"bypass at once", {DPCR_BYPASS}, 1, 0, true},
                      PartCase{"bypass later", {DPCR_FILTER, DPCR_BYPASS}, 2, 0, true},
                      PartCase{"block", {DPCR_BLOCK}, 1, 0, false}),
    [](const auto& param) {
        std::string name = param.param.name;
        std::replace(name.begin(), name.end(), ' ', '_');
        return name;
    });

TEST(HttpMode, CloseFromInsideDataAvailableDropsTheRequest) {
    TestUpstream upstream;
    TestSink sink;
    sink.onRequest = [](uint64_t id, ProtocolFilters::PFObject*) { nfapi::nf_tcpClose(id); };
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("GET /blocked HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(client.readAll(), "");
    ASSERT_TRUE(sink.waitForClosed(1));
    EXPECT_EQ(sink.closed().size(), 1u);
    EXPECT_EQ(upstream.allReceived(), "");
}

// A filter that decides on another thread: the request waits for it.
TEST(HttpMode, CallsFromAnotherThreadCloseOrPassTheHeldRequest) {
    for (bool pass : {false, true}) {
        TestUpstream upstream;
        TestSink sink;
        std::vector<std::thread> deciders;
        std::mutex lock;
        sink.onRequest = [&](uint64_t id, ProtocolFilters::PFObject* object) {
            std::lock_guard guard(lock);
            deciders.emplace_back([=] {
                if (pass) {
                    EXPECT_TRUE(ProtocolFilters::pf_postObject(id, object));
                } else {
                    EXPECT_EQ(nfapi::nf_tcpClose(id), nfapi::NF_STATUS_SUCCESS);
                }
            });
        };
        Harness layer(sink, upstream.port());
        Client client(layer.port());
        const std::string request = "GET /later HTTP/1.1\r\nHost: h\r\n\r\n";
        client.send(request);
        EXPECT_EQ(bodyOf(client.readResponse()), pass ? "GET /later 0\n" : "") << pass;
        EXPECT_EQ(upstream.allReceived(), pass ? request : "") << pass;
        std::lock_guard guard(lock);
        for (std::thread& decider : deciders) {
            decider.join();
        }
    }
}

TEST(HttpMode, KeepAliveAndPipelinedRequestsAreAnsweredInOrder) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("GET /1 HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(bodyOf(client.readResponse()), "GET /1 0\n");
    client.send("POST /2 HTTP/1.1\r\nHost: h\r\nContent-Length: 3\r\n\r\nabc"
                "GET /3 HTTP/1.1\r\nHost: h\r\n\r\n"
                "GET /chunked HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(bodyOf(client.readResponse()), "POST /2 3\n");
    EXPECT_EQ(bodyOf(client.readResponse()), "GET /3 0\n");
    EXPECT_NE(client.readResponse().find("GET /chunked 0\n"), std::string::npos);
    const std::vector<Seen> requests = sink.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[1].body, "abc");
    EXPECT_EQ(requests[2].line, "GET /3 HTTP/1.1\r\n");
    EXPECT_EQ(upstream.received().size(), 1u); // one server connection per client connection
}

TEST(HttpMode, HeadAnswerHasNoBodyAndTheNextRequestStillFits) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("HEAD /h HTTP/1.1\r\nHost: h\r\n\r\nGET /after HTTP/1.1\r\nHost: h\r\n\r\n");
    const std::string head = client.readResponse(true);
    EXPECT_NE(head.find("Content-Length: 10\r\n"), std::string::npos);
    EXPECT_EQ(bodyOf(head), "");
    EXPECT_EQ(bodyOf(client.readResponse()), "GET /after 0\n");
}

TEST(HttpMode, SwitchingProtocolsMakesATunnel) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    const std::string upgrade = "GET /ws HTTP/1.1\r\nHost: h\r\nConnection: Upgrade\r\n"
                                "Upgrade: test\r\n\r\n";
    client.send(upgrade);
    EXPECT_EQ(client.readResponse().rfind("HTTP/1.1 101 ", 0), 0u);
    const std::string frames = "\x81\x05hello GET / HTTP/1.1\r\n\0"s;
    client.send(frames);
    client.shutdownSend();
    EXPECT_EQ(client.readAll(), frames);
    EXPECT_EQ(sink.requests().size(), 1u);
    EXPECT_EQ(upstream.allReceived(), upgrade + frames);
}

TEST(HttpMode, ExpectContinueWhileTheFilterHoldsIsAnsweredOnce) {
    TestUpstream upstream; // sends its own 100 when the body has not come yet
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    const std::string head = "POST /up HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\n"
                             "Content-Length: 4\r\n\r\n";
    client.send(head);
    EXPECT_EQ(client.readResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
    client.send("data");
    EXPECT_EQ(bodyOf(client.readResponse()), "POST /up 4\n"); // no second 100 before it
    EXPECT_EQ(upstream.allReceived(), head + "data");
}

TEST(HttpMode, ExpectContinueOfAPassedRequestComesFromTheServer) {
    TestUpstream upstream;
    TestSink sink;
    sink.onPart = [](const Seen&) { return int(DPCR_BYPASS); };
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send(
        "POST /up HTTP/1.1\r\nHost: h\r\nExpect: 100-continue\r\nContent-Length: 2\r\n\r\n");
    EXPECT_EQ(client.readResponse(), "HTTP/1.1 100 Continue\r\n\r\n");
    client.send("ok");
    EXPECT_EQ(bodyOf(client.readResponse()), "POST /up 2\n");
}

TEST(HttpMode, DisconnectNoticesTellWhichSideWentAway) {
    TestUpstream upstream;
    {
        TestSink sink;
        Harness layer(sink, upstream.port());
        Client client(layer.port());
        client.send("GET /close HTTP/1.1\r\nHost: h\r\n\r\n");
        EXPECT_EQ(bodyOf(client.readAll()), "GET /close 0\n"); // the response ends with the close
        ASSERT_TRUE(sink.waitForClosed(1));
        const auto notices = sink.notices();
        ASSERT_EQ(notices.size(), 1u);
        EXPECT_EQ(notices[0].second, ProtocolFilters::OT_TCP_DISCONNECT_LOCAL);
    }
    {
        TestSink sink;
        Harness layer(sink, upstream.port());
        {
            Client client(layer.port());
            client.send("GET /1 HTTP/1.1\r\nHost: h\r\n\r\n");
            EXPECT_EQ(bodyOf(client.readResponse()), "GET /1 0\n");
        }
        ASSERT_TRUE(sink.waitForClosed(1));
        const auto notices = sink.notices();
        ASSERT_FALSE(notices.empty());
        EXPECT_EQ(notices[0].second, ProtocolFilters::OT_TCP_DISCONNECT_REMOTE);
        EXPECT_EQ(sink.eventsAfterClose(), 0u);
    }
}

TEST(HttpMode, HalfClosedClientStillGetsItsAnswer) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    client.send("GET /half HTTP/1.1\r\nHost: h\r\n\r\n");
    client.shutdownSend();
    EXPECT_EQ(bodyOf(client.readAll()), "GET /half 0\n");
}

// Each part of a request or an answer, and each close, arrives on its own
// after the layer has read all there was: none is missed.
TEST(HttpMode, PartsAndClosesArrivingAfterPausesAreAllSeen) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    {
        Client client(layer.port());
        for (const char* part : {"GET /pie", "ces HTTP/1.1\r\nHo", "st: h\r\n", "\r\n"}) {
            client.send(part);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(bodyOf(client.readAll()), "first second\n"); // ended by the server's close
    }
    Client client(layer.port());
    client.send("GET /1 HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(bodyOf(client.readResponse()), "GET /1 0\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client.shutdownSend();
    EXPECT_EQ(client.readAll(), "");
    ASSERT_TRUE(sink.waitForClosed(2));
    ASSERT_EQ(sink.requests().size(), 2u);
    EXPECT_EQ(sink.requests()[0].line, "GET /pieces HTTP/1.1\r\n");
}

TEST(HttpMode, ClientAddressReachesTheServerButNotTheFilter) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port(), "forward_client=x-forwarded-for");
    Client client(layer.port());
    client.send("POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 2\r\n\r\nab");
    EXPECT_EQ(bodyOf(client.readResponse()), "POST /x 2\n");
    EXPECT_EQ(upstream.allReceived(), "POST /x HTTP/1.1\r\nHost: h\r\nContent-Length: 2\r\n"
                                      "X-Forwarded-For: 127.0.0.1\r\n\r\nab");
    EXPECT_EQ(sink.requests().at(0).header, "Host: h\r\nContent-Length: 2\r\n\r\n");
}

TEST(HttpMode, ProxyLineComesFirst) {
    TestUpstream upstream(TestUpstream::Mode::Echo);
    TestSink sink;
    sink.filterHttp = false;
    Harness layer(sink, upstream.port(), "forward_client=proxy-v1");
    Client client(layer.port());
    client.send("x");
    client.shutdownSend();
    const std::string echoed = client.readAll();
    const std::string expected = "PROXY TCP4 127.0.0.1 127.0.0.1 ";
    EXPECT_EQ(echoed.rfind(expected, 0), 0u) << echoed;
    EXPECT_NE(echoed.find(" " + std::to_string(layer.port()) + "\r\nx"), std::string::npos);
}

} // namespace
