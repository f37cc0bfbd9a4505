#include "harness.h"
#include "platform/netfilter/operator_log.h"
#include "test_sink.h"
#include "test_upstream.h"

#include <boost/asio/read_until.hpp>
#include <boost/asio/write.hpp>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace {

using namespace nftest;

std::string statusLine(const std::string& response) {
    return response.substr(0, response.find("\r\n"));
}

// Sends a byte at a time, a little apart, until the layer has closed that
// many connections or the bytes run out; whether it closed them.
bool trickleUntilClosed(Client& client, const TestSink& sink, const std::string& bytes,
                        size_t closed) {
    for (const char byte : bytes) {
        if (sink.closed().size() >= closed) {
            return true;
        }
        client.send(std::string(1, byte));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return sink.closed().size() >= closed;
}

// Connects, has one request answered, sends the bytes and resets the
// connection after the pause.
void resetAfter(uint16_t port, const std::string& bytes, std::chrono::microseconds pause) {
    boost::asio::io_context context;
    boost::asio::ip::tcp::socket socket(context);
    boost::system::error_code error;
    socket.connect({boost::asio::ip::make_address("127.0.0.1"), port}, error);
    boost::asio::write(socket, boost::asio::buffer("GET / HTTP/1.1\r\nHost: h\r\n\r\n", 27), error);
    std::string answer;
    boost::asio::read_until(socket, boost::asio::dynamic_buffer(answer), "GET / 0\n", error);
    boost::asio::write(socket, boost::asio::buffer(bytes), error);
    std::this_thread::sleep_for(pause);
    socket.set_option(boost::asio::socket_base::linger(true, 0), error);
    socket.close(error);
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
        {"two hosts", "GET / HTTP/1.1\r\nHost: trusted\r\nHost: evil\r\n\r\n"},
        // What lenient servers read as a request line.
        {"leading blank", " GET /?id=1%20union%20select%201 HTTP/1.1\r\nHost: h\r\n\r\n"},
        {"leading tab", "\tGET / HTTP/1.1\r\nHost: h\r\n\r\n"},
        {"leading vertical tab", "\vGET / HTTP/1.1\r\nHost: h\r\n\r\n"},
        {"tabs in the line", "GET\t/\tHTTP/1.1\r\nHost: h\r\n\r\n"},
        {"line end after lone CR", "\r\n\r GET / HTTP/1.1\r\nHost: h\r\n\r\n"},
        {"not HTTP", "SSH-2.0-OpenSSH_9.2\r\n"},
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

// Web servers skip CR and LF before a request line, however they come; so
// does the layer, and the server gets the request as the filter saw it.
TEST(BadInput, LineEndsBeforeARequestAreDroppedWhateverTheReads) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    const std::string first = "GET /?id=1 HTTP/1.1\r\nHost: h\r\n\r\n";
    const std::string second = "GET /?id=2 HTTP/1.1\r\nHost: h\r\n\r\n";
    for (const char* part : {"\r", "\n\r", "\r", "\n\n"}) {
        client.send(part);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    client.send(first);
    EXPECT_EQ(statusLine(client.readResponse()), "HTTP/1.1 200 OK");
    client.send("\r");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client.send(second);
    EXPECT_EQ(statusLine(client.readResponse()), "HTTP/1.1 200 OK");
    EXPECT_EQ(upstream.allReceived(), first + second);
    ASSERT_EQ(sink.requests().size(), 2u);
    EXPECT_EQ(sink.requests()[0].line, "GET /?id=1 HTTP/1.1\r\n");
    EXPECT_EQ(sink.requests()[1].line, "GET /?id=2 HTTP/1.1\r\n");
}

// Chunk lines under their own limit still cannot grow a held request past
// what the layer holds: it gets 413 and nothing goes on.
TEST(BadInput, ChunkExtensionFloodIsRefusedOnceTheHeldBytesAreFull) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    std::string flood = "POST / HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string chunk = "1;e=" + std::string(3000, 'x') + "\r\nX\r\n";
    while (flood.size() < (size_t(1) << 20) + 65536 + chunk.size()) {
        flood += chunk;
    }
    client.send(flood);
    EXPECT_EQ(statusLine(client.readAll()), "HTTP/1.1 413 Payload Too Large");
    EXPECT_EQ(upstream.allReceived(), "");
    EXPECT_TRUE(sink.requests().empty());
    ASSERT_FALSE(sink.parts().empty());
    EXPECT_LT(sink.parts().back().body.size(), 400u); // the filter saw it held, de-chunked
}

// A large upload in ordinary chunks reaches the filter's own limit long
// before the layer's, and goes on unheld as the filter decides.
TEST(BadInput, ChunkedUploadOverTheFiltersLimitStillPasses) {
    TestUpstream upstream;
    TestSink sink;
    sink.onPart = [](const Seen& seen) {
        const size_t total = seen.line.size() + seen.header.size() + seen.body.size();
        return int(total > (size_t(1) << 20) ? ProtocolFilters::DPCR_BYPASS
                                             : ProtocolFilters::DPCR_FILTER);
    };
    Harness layer(sink, upstream.port());
    Client client(layer.port());
    std::string upload = "POST /up HTTP/1.1\r\nHost: h\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (int i = 0; i < 160; ++i) {
        upload += "2000\r\n" + std::string(0x2000, 'u') + "\r\n";
    }
    upload += "0\r\n\r\n";
    client.send(upload);
    EXPECT_EQ(statusLine(client.readResponse()), "HTTP/1.1 200 OK");
    EXPECT_EQ(upstream.allReceived(), upload);
}

// A held request has a bounded time to arrive, and line ends before a
// request do not stop the header's clock.
TEST(BadInput, TricklingClientsAreClosedWithoutReachingTheServer) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port(), "header_timeout=1\nrequest_timeout=1\nidle_timeout=60");
    Client body(layer.port());
    body.send("POST / HTTP/1.1\r\nHost: h\r\nContent-Length: 100\r\n\r\n");
    EXPECT_TRUE(trickleUntilClosed(body, sink, std::string(100, 'a'), 1));
    Client lineEnds(layer.port());
    EXPECT_TRUE(trickleUntilClosed(lineEnds, sink, std::string(100, '\n'), 2));
    Client later(layer.port());
    later.send("GET / HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(statusLine(later.readResponse()), "HTTP/1.1 200 OK");
    EXPECT_TRUE(trickleUntilClosed(later, sink, std::string(100, '\r'), 3));
    EXPECT_EQ(upstream.allReceived(), "GET / HTTP/1.1\r\nHost: h\r\n\r\n");
}

// A reset that comes right after the client's bytes closes the connection
// at once, whatever the bytes were, not when a time-out ends it. The pauses
// let the reset come before, with and after the layer's reads.
TEST(BadInput, ResetRightAfterTheBytesClosesAtOnce) {
    TestUpstream upstream;
    TestSink sink;
    Harness layer(sink, upstream.port(), "header_timeout=60\nidle_timeout=60");
    const std::string request = "GET / HTTP/1.1\r\nHost: h\r\n\r\n";
    for (int pause = 0; pause < 2000; pause += 10) {
        for (const std::string& bytes : {std::string(), request.substr(0, 20), request}) {
            resetAfter(layer.port(), bytes, std::chrono::microseconds(pause));
        }
    }
    Client last(layer.port());
    last.send(request);
    EXPECT_EQ(statusLine(last.readResponse()), "HTTP/1.1 200 OK");
    last.shutdownSend();
    EXPECT_TRUE(eventually([&] { return sink.closed().size() == sink.connected().size(); }));
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

// The operator hears of a web server that cannot be reached, once however
// many clients fail to reach it.
TEST(BadInput, UnreachableServerGets502AndOneOperatorLine) {
    std::mutex lock;
    std::vector<std::string> lines;
    platform::netfilter::setOperatorLog([&](const std::string& line) {
        std::lock_guard guard(lock);
        lines.push_back(line);
    });
    TestSink sink;
    const uint16_t down = freePort();
    {
        Harness layer(sink, down);
        for (int i = 0; i < 3; ++i) {
            Client client(layer.port());
            client.send("GET /down HTTP/1.1\r\nHost: h\r\n\r\n");
            EXPECT_EQ(statusLine(client.readAll()), "HTTP/1.1 502 Bad Gateway");
        }
    }
    platform::netfilter::setOperatorLog({});
    EXPECT_EQ(sink.requests().size(), 3u);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("127.0.0.1:" + std::to_string(down)), std::string::npos) << lines[0];
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
