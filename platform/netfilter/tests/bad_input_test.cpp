#include "harness.h"
#include "test_sink.h"
#include "test_upstream.h"

#include <gtest/gtest.h>

namespace {

using namespace nftest;

std::string statusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

// Whatever the web server could read differently from the filter never
// reaches it: the client gets 400 and the connection ends.
TEST(BadInput, AmbiguousFramingIsRefusedAndNothingGoesOn) {
    const struct {
        const char* name;
        std::string request;
    } cases[] = {
        {"length and chunked",
         "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 4\r\n"
         "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\nGET /smuggled HTTP/1.1\r\n\r\n"},
        {"two lengths",
         "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 0\r\nContent-Length: 30\r\n\r\n"
         "GET /smuggled HTTP/1.1\r\n\r\n"},
        {"bad chunk size", "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n"
                           "-1\r\nx\r\n0\r\n\r\n"},
        {"coding not chunked",
         "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: identity\r\n\r\nabc"},
        {"obs-fold in coding",
         "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: x,\r\n chunked\r\n\r\n"
         "0\r\n\r\n"},
        {"bad length", "POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 1e3\r\n\r\n"},
    };
    for (const auto& c : cases) {
        TestUpstream upstream;
        TestSink sink;
        Harness layer(sink, upstream.port());
        Client client(layer.port());
        client.send(c.request);
        const std::string answer = client.readAll();
        EXPECT_EQ(statusLine(answer), "HTTP/1.1 400 Bad Request") << c.name;
        EXPECT_EQ(upstream.allReceived(), "") << c.name;
        EXPECT_TRUE(sink.requests().empty()) << c.name;
    }
}

TEST(BadInput, RequestsBeforeARefusedOneAreAnsweredFirst) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    const std::string good = "GET /good HTTP/1.1\r\nHost: h\r\n\r\n";
    client.send(good + "GET /bad HTTP/1.1\r\nHost : h\r\n\r\n");
    EXPECT_EQ(statusLine(client.readResponse()), "HTTP/1.1 200 OK");
    EXPECT_EQ(statusLine(client.readAll()), "HTTP/1.1 400 Bad Request");
    EXPECT_EQ(upstream.allReceived(), good);
}

TEST(BadInput, HeaderBlockOverTheLimitGets431) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port(), "header_limit=2048");
    Client client(layer.port());
    client.send("GET / HTTP/1.1\r\nHost: h\r\nCookie: " + std::string(3000, 'c') + "\r\n\r\n");
    EXPECT_EQ(statusLine(client.readAll()), "HTTP/1.1 431 Request Header Fields Too Large");
    EXPECT_EQ(upstream.allReceived(), "");
}

TEST(BadInput, SlowHeadersAndIdleClientsAreClosed) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port(), "header_timeout=1\nidle_timeout=1");
    Client slow(layer.port());
    slow.send("GET / HTTP/1.1\r\nHost: h\r\n"); // and never the empty line
    EXPECT_EQ(slow.readAll(), "");
    EXPECT_TRUE(upstream.received().empty()); // the server never saw the connection

    Client idle(layer.port());
    idle.send("GET /once HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(statusLine(idle.readResponse()), "HTTP/1.1 200 OK");
    EXPECT_EQ(idle.readAll(), ""); // closed, without an answer of its own
    EXPECT_TRUE(sink.waitForClosed(2));
}

TEST(BadInput, UnreachableServerGets502AfterTheFilterSawTheRequest) {
    TestSink sink;
    Harness layer(sink, freePort());
    Client client(layer.port());
    client.send("GET /down HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(statusLine(client.readAll()), "HTTP/1.1 502 Bad Gateway");
    EXPECT_EQ(sink.requests().size(), 1u);
}

TEST(BadInput, BadChunkAfterThePassedPartOnlyCloses) {
    TestUpstream upstream;
    TestSink sink;
    sink.onPart = [](const Seen&) { return int(ProtocolFilters::DPCR_BYPASS); };
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    const std::string head = "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n";
    client.send(head + "3\r\nabc\r\n");
    // The line end after a chunk goes on with the next chunk's size line.
    ASSERT_TRUE(upstream.waitForBytes(head.size() + 6));
    client.send("zz\r\n");
    EXPECT_EQ(client.readAll(), "");
    EXPECT_EQ(upstream.allReceived(), head + "3\r\nabc");
}

} // namespace
