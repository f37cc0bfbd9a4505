#include "platform/netfilter/response_tracker.h"

#include <gtest/gtest.h>

namespace {

using platform::netfilter::ResponseTracker;
using Expectation = ResponseTracker::Expectation;
using Outcome = ResponseTracker::Outcome;

std::string relayed(const ResponseTracker& tracker) {
    std::string out;
    for (const auto& buffer : tracker.buffers()) {
        out.append(static_cast<const char*>(buffer.data()), buffer.size());
    }
    return out;
}

struct Relay {
    std::string out;
    Outcome last = Outcome::None;
    bool sawRefusal = false;
};

// Feeds the bytes step at a time and collects what would reach the client.
Relay feedAll(ResponseTracker& tracker, const std::string& bytes, size_t step) {
    Relay run;
    for (size_t at = 0; at < bytes.size(); at += step) {
        const std::string part = bytes.substr(at, step);
        const Outcome outcome = tracker.feed(part.data(), part.size());
        run.out += relayed(tracker);
        run.sawRefusal = run.sawRefusal || outcome == Outcome::UpgradeRefused;
        if (outcome != Outcome::None) {
            run.last = outcome;
        }
    }
    return run;
}

TEST(ResponseTracker, RelaysEveryByteAndCountsAnsweredRequests) {
    const std::string responses =
        "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello"
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n0\r\nT: 1\r\n\r\n"
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n0\r\nX: y\r\n\r\n"
        "HTTP/1.1 204 No Content\r\nContent-Length: 3\r\n\r\n"
        "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\n" // answer to HEAD
        "HTTP/1.1 304 Not Modified\r\n\r\n";
    for (size_t step : {responses.size(), size_t(1), size_t(7)}) {
        ResponseTracker tracker;
        tracker.expect({});
        tracker.expect({});
        tracker.expect({});
        tracker.expect({});
        tracker.expect(Expectation{true, false, false});
        tracker.expect({});
        tracker.expect({}); // not answered yet
        const Relay run = feedAll(tracker, responses, step);
        EXPECT_EQ(run.out, responses) << "step " << step;
        EXPECT_EQ(run.last, Outcome::None) << "step " << step;
        EXPECT_EQ(tracker.outstanding(), 1u) << "step " << step;
    }
}

TEST(ResponseTracker, HoldsAnIncompleteHeadUntilItEnds) {
    ResponseTracker tracker;
    tracker.expect({});
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
    EXPECT_EQ(tracker.feed(head.data(), head.size()), Outcome::None);
    EXPECT_EQ(relayed(tracker), "");
    EXPECT_EQ(tracker.feed("\r\nok", 4), Outcome::None);
    EXPECT_EQ(relayed(tracker), head + "\r\nok");
    EXPECT_EQ(tracker.outstanding(), 0u);
}

TEST(ResponseTracker, DropsTheServersContinueWhenTheLayerSentOne) {
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    const std::string final = "HTTP/1.1 201 Created\r\nContent-Length: 0\r\n\r\n";
    for (bool sent : {true, false}) {
        for (size_t step : {size_t(1), size_t(100)}) {
            ResponseTracker tracker;
            tracker.expect(Expectation{false, false, sent});
            const Relay run = feedAll(tracker, interim + final, step);
            EXPECT_EQ(run.out, sent ? final : interim + final) << sent << " step " << step;
            EXPECT_EQ(tracker.outstanding(), 0u);
        }
    }
}

TEST(ResponseTracker, SwitchingProtocolsEndsTheFraming) {
    ResponseTracker tracker;
    tracker.expect(Expectation{false, true, false});
    const std::string answer = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: x\r\n\r\n\x81\x05";
    EXPECT_EQ(tracker.feed(answer.data(), answer.size()), Outcome::Upgraded);
    EXPECT_EQ(relayed(tracker), answer);
    EXPECT_EQ(tracker.feed("not http at all", 15), Outcome::None);
    EXPECT_EQ(relayed(tracker), "not http at all");
}

TEST(ResponseTracker, RefusedUpgradeIsReportedOnce) {
    ResponseTracker tracker;
    tracker.expect(Expectation{false, true, false});
    const Relay run = feedAll(tracker, "HTTP/1.1 400 No\r\nContent-Length: 1\r\n\r\nx", 1);
    EXPECT_TRUE(run.sawRefusal);
    EXPECT_EQ(tracker.outstanding(), 0u);
}

TEST(ResponseTracker, AServerThatIsNotHttpFailsButItsBytesAreRelayed) {
    const struct {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"garbage", "SSH-2.0-OpenSSH_9.2\r\n"},
        {"unasked 101", "HTTP/1.1 101 Switching Protocols\r\n\r\nraw"},
        {"bad length", "HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n"},
        {"bad chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nqq\r\n"},
    };
    for (const auto& c : cases) {
        ResponseTracker tracker;
        tracker.expect({});
        const Relay run = feedAll(tracker, c.bytes, c.bytes.size());
        EXPECT_EQ(run.last, Outcome::Failed) << c.name;
        EXPECT_EQ(run.out, c.bytes) << c.name;
    }
}

TEST(ResponseTracker, ResponseEndedByTheCloseStaysOpenAndFlushGivesTheHeldRest) {
    ResponseTracker tracker;
    tracker.expect({});
    const std::string body = "HTTP/1.0 200 OK\r\n\r\nuntil the end";
    EXPECT_EQ(tracker.feed(body.data(), body.size()), Outcome::None);
    EXPECT_EQ(relayed(tracker), body);
    EXPECT_EQ(tracker.outstanding(), 1u);

    ResponseTracker cut;
    cut.expect({});
    EXPECT_EQ(cut.feed("HTTP/1.1 200 O", 14), Outcome::None);
    cut.flush();
    EXPECT_EQ(relayed(cut), "HTTP/1.1 200 O");
}

} // namespace
