#include "platform/netfilter/request_framer.h"

#include <gtest/gtest.h>

namespace {

using namespace std::string_literals;
using platform::netfilter::RequestFramer;
using Verdict = RequestFramer::Verdict;

struct Framed {
    Verdict verdict = Verdict::NeedMore;
    std::string line;
    std::string header;
    std::string body;
    size_t consumed = 0;
};

// Feeds bytes step at a time, as reads from a socket would bring them.
Framed frame(const std::string& bytes, size_t step, uint32_t headerLimit = 65536) {
    RequestFramer framer(headerLimit);
    Framed framed;
    std::string received;
    for (size_t at = 0; at < bytes.size() && framed.verdict == Verdict::NeedMore; at += step) {
        received += bytes.substr(at, step);
        framed.verdict = framer.parse(received.data() + framed.consumed,
                                      received.size() - framed.consumed, framed.consumed);
    }
    if (framer.headerDone()) {
        framed.line = received.substr(0, framer.lineSize());
        framed.header = received.substr(framer.lineSize(), framer.headSize() - framer.lineSize());
        framed.body = framer.chunked()
                          ? std::string(framer.chunkedBody())
                          : received.substr(framer.headSize(), framed.consumed - framer.headSize());
    }
    return framed;
}

TEST(RequestFramer, SplitsRequestsIntoLineHeaderAndBodyWhateverTheReads) {
    const struct {
        const char* name;
        std::string bytes;
        std::string line, header, body;
    } cases[] = {
        {"get", "GET /a?b=1 HTTP/1.1\r\nHost: x\r\nA:  b \r\n\r\n", "GET /a?b=1 HTTP/1.1\r\n",
         "Host: x\r\nA:  b \r\n\r\n", ""},
        {"no fields", "GET / HTTP/1.0\r\n\r\n", "GET / HTTP/1.0\r\n", "\r\n", ""},
        {"length", "POST /f HTTP/1.1\r\nContent-Length: 7\r\n\r\na=1&b=2", "POST /f HTTP/1.1\r\n",
         "Content-Length: 7\r\n\r\n", "a=1&b=2"},
        {"chunked",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nWiki\r\n5;x=1\r\npedia\r\n"
         "0\r\nTrailer: t\r\n\r\n",
         "POST / HTTP/1.1\r\n", "Transfer-Encoding: chunked\r\n\r\n", "Wikipedia"},
        {"coding before chunked",
         "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\nTransfer-Encoding: Chunked\r\n\r\n"
         "3\r\nabc\r\n0\r\n\r\n",
         "POST / HTTP/1.1\r\n", "Transfer-Encoding: gzip\r\nTransfer-Encoding: Chunked\r\n\r\n",
         "abc"},
        {"last chunk only", // its trailer split up once tripped an assertion of the parser
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX: y\r\n\r\n",
         "POST / HTTP/1.1\r\n", "Transfer-Encoding: chunked\r\n\r\n", ""},
        {"binary body", "PUT / HTTP/1.1\r\nContent-Length: 3\r\n\r\n\0\r\n"s, "PUT / HTTP/1.1\r\n",
         "Content-Length: 3\r\n\r\n", "\0\r\n"s},
        {"chunk extension at its limit",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1;e=" +
             std::string(platform::netfilter::kChunkLineLimit - 8, 'x') + "\r\na\r\n0\r\n\r\n",
         "POST / HTTP/1.1\r\n", "Transfer-Encoding: chunked\r\n\r\n", "a"},
    };
    for (const auto& c : cases) {
        for (size_t step : {c.bytes.size(), size_t(1), size_t(5)}) {
            const Framed framed = frame(c.bytes, step);
            EXPECT_EQ(framed.verdict, Verdict::Complete) << c.name << " step " << step;
            EXPECT_EQ(framed.line, c.line) << c.name << " step " << step;
            EXPECT_EQ(framed.header, c.header) << c.name << " step " << step;
            EXPECT_EQ(framed.body, c.body) << c.name << " step " << step;
            EXPECT_EQ(framed.consumed, c.bytes.size()) << c.name << " step " << step;
        }
    }
}

TEST(RequestFramer, StopsAtTheEndOfEachPipelinedRequest) {
    const std::string first = "POST /1 HTTP/1.1\r\nContent-Length: 2\r\n\r\nab";
    const std::string second = "GET /2 HTTP/1.1\r\n\r\n";
    const std::string both = first + second;
    RequestFramer framer(65536);
    size_t consumed = 0;
    EXPECT_EQ(framer.parse(both.data(), both.size(), consumed), Verdict::Complete);
    EXPECT_EQ(consumed, first.size());
    framer.reset();
    EXPECT_EQ(framer.parse(both.data() + consumed, both.size() - consumed, consumed),
              Verdict::Complete);
    EXPECT_EQ(consumed, both.size());
    EXPECT_EQ(framer.lineSize(), std::string("GET /2 HTTP/1.1\r\n").size());
}

TEST(RequestFramer, ReportsWhatTheConnectionNeedsToKnow) {
    const auto flags = [](const std::string& bytes) {
        RequestFramer framer(65536);
        size_t consumed = 0;
        (void)framer.parse(bytes.data(), bytes.size(), consumed);
        return std::string(framer.isHead() ? "head " : "") + (framer.upgrade() ? "upgrade " : "") +
               (framer.expectsContinue() ? "continue" : "");
    };
    EXPECT_EQ(flags("HEAD / HTTP/1.1\r\n\r\n"), "head ");
    EXPECT_EQ(flags("GET / HTTP/1.1\r\nConnection: Upgrade\r\nUpgrade: websocket\r\n\r\n"),
              "upgrade ");
    EXPECT_EQ(flags("GET / HTTP/1.1\r\nUpgrade: websocket\r\n\r\n"), "");
    EXPECT_EQ(flags("POST / HTTP/1.1\r\nExpect: 100-Continue\r\nContent-Length: 1\r\n\r\n"),
              "continue");
    EXPECT_EQ(flags("POST / HTTP/1.0\r\nExpect: 100-continue\r\nContent-Length: 1\r\n\r\n"), "");
}

TEST(RequestFramer, RefusesFramingThatServersCouldReadDifferently) {
    const struct {
        const char* name;
        std::string bytes;
        Verdict verdict;
    } cases[] = {
        {"length and chunked",
         "POST / HTTP/1.1\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\n0\r\n\r\n",
         Verdict::BadRequest},
        {"chunked and length",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nContent-Length: 3\r\n\r\n0\r\n\r\n",
         Verdict::BadRequest},
        {"two equal lengths", "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 1\r\n\r\na",
         Verdict::BadRequest},
        {"two different lengths",
         "POST / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab",
         Verdict::BadRequest},
        {"length list", "POST / HTTP/1.1\r\nContent-Length: 1, 1\r\n\r\na", Verdict::BadRequest},
        {"length not a number", "POST / HTTP/1.1\r\nContent-Length: abc\r\n\r\n",
         Verdict::BadRequest},
        {"negative length", "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", Verdict::BadRequest},
        {"signed length", "POST / HTTP/1.1\r\nContent-Length: +1\r\n\r\na", Verdict::BadRequest},
        {"huge length", "POST / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n",
         Verdict::BadRequest},
        {"coding not chunked", "POST / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\nabc",
         Verdict::BadRequest},
        {"chunked not last", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked, gzip\r\n\r\n",
         Verdict::BadRequest},
        {"chunked twice", "POST / HTTP/1.1\r\nTransfer-Encoding: chunked, chunked\r\n\r\n",
         Verdict::BadRequest},
        {"chunked in two fields",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n",
         Verdict::BadRequest},
        {"coding after chunked field",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n\r\n",
         Verdict::BadRequest},
        {"bad chunk size",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n",
         Verdict::BadRequest},
        {"chunk size overflow",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1ffffffffffffffff\r\na\r\n",
         Verdict::BadRequest},
        {"chunk without its line end",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabcX\r\n0\r\n\r\n",
         Verdict::BadRequest},
        {"folded value", "GET / HTTP/1.1\r\nA: b\r\n c\r\n\r\n", Verdict::BadRequest},
        {"folded coding", "POST / HTTP/1.1\r\nTransfer-Encoding: x,\r\n chunked\r\n\r\n0\r\n\r\n",
         Verdict::BadRequest},
        {"blank before colon", "GET / HTTP/1.1\r\nHost : x\r\n\r\n", Verdict::BadRequest},
        {"bare line feeds", "GET / HTTP/1.1\nHost: x\n\n", Verdict::BadRequest},
        {"version 2", "GET / HTTP/2.0\r\n\r\n", Verdict::BadRequest},
        {"no version", "GET /\r\n\r\n", Verdict::BadRequest},
        {"control byte in value", "GET / HTTP/1.1\r\nA: b\0c\r\n\r\n"s, Verdict::BadRequest},
        {"header over the limit", "GET / HTTP/1.1\r\nA: " + std::string(2000, 'a') + "\r\n\r\n",
         Verdict::HeaderTooLarge},
        {"line over the limit", "GET /" + std::string(2000, 'a') + " HTTP/1.1\r\n\r\n",
         Verdict::HeaderTooLarge},
        {"endless chunk header",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1;" + std::string(5000, 'x'),
         Verdict::BadRequest},
        {"chunk extension over its limit",
         "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n1;e=" + std::string(5000, 'x') +
             "\r\na\r\n0\r\n\r\n",
         Verdict::BadRequest},
        {"two hosts", "GET / HTTP/1.1\r\nHost: a\r\nX: y\r\nhost: b\r\n\r\n", Verdict::BadRequest},
        {"the same host twice", "GET / HTTP/1.1\r\nHost: a\r\nHost: a\r\n\r\n",
         Verdict::BadRequest},
    };
    for (const auto& c : cases) {
        for (size_t step : {c.bytes.size(), size_t(1)}) {
            EXPECT_EQ(frame(c.bytes, step, 1024).verdict, c.verdict) << c.name << " step " << step;
        }
    }
}

// Lenient servers read these as requests, so they must never pass unframed;
// the framer refuses each, whatever the reads.
TEST(RequestFramer, RefusesEveryFirstLineThatIsNotARequestLine) {
    const std::string rest = "/?id=1%20union%20select%201 HTTP/1.1\r\nHost: h\r\n\r\n";
    const std::string cases[] = {
        " GET " + rest,
        "\tGET " + rest,
        "\vGET " + rest,
        "\fGET " + rest,
        "GET\t" + rest,
        "GET  " + rest,
        "GET /\tHTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1 \r\n\r\n",
        "GET / http/1.1\r\n\r\n",
        "GET /\rX HTTP/1.1\r\n\r\n",
        "GET / HTTP/1.1\rHost: h\r\n\r\n",
        "G\0T / HTTP/1.1\r\n\r\n"s,
        "SSH-2.0-OpenSSH_9.2\r\n",
        // TLS bytes are tunnelled only when they open the connection.
        "\x16\x03\x01\x02\x00 / HTTP/1.1\r\n\r\n",
    };
    for (const auto& bytes : cases) {
        for (size_t step : {bytes.size(), size_t(1)}) {
            EXPECT_EQ(frame(bytes, step).verdict, Verdict::BadRequest) << bytes << " step " << step;
        }
    }
}

TEST(RequestFramer, DropsOnlyLineEndsBeforeARequestAndTunnelsOnlyTls) {
    EXPECT_EQ(RequestFramer::lineEndsBefore("\r\nGET"), 2u);
    EXPECT_EQ(RequestFramer::lineEndsBefore("\rGET"), 1u); // a lone CR, as servers skip it
    EXPECT_EQ(RequestFramer::lineEndsBefore("\n\r\n\r\rGET"), 5u);
    EXPECT_EQ(RequestFramer::lineEndsBefore("\r\n\r"), 3u);
    EXPECT_EQ(RequestFramer::lineEndsBefore(""), 0u);
    EXPECT_EQ(RequestFramer::lineEndsBefore(" \r\nGET"), 0u);
    EXPECT_EQ(RequestFramer::lineEndsBefore("\tGET"), 0u);

    EXPECT_TRUE(RequestFramer::opensTls("\x16\x03\x01\x02\x00"));
    EXPECT_TRUE(RequestFramer::opensTls("\x16"));
    for (const char* other : {"", " GET /", "GET\t/", "\x0bGET", "SSH-2.0", "\r\x16"}) {
        EXPECT_FALSE(RequestFramer::opensTls(other)) << other;
    }
}

} // namespace
