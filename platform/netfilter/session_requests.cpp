// The client's side of a connection: reading, framing each request, asking
// the filter, and passing the bytes on exactly as they were received.

#include "platform/netfilter/layer_trace.h"
#include "platform/netfilter/session.h"
#include "platform/netfilter/settings.h"

#include <algorithm>
#include <boost/asio/write.hpp>

namespace platform::netfilter {

using ProtocolFilters::DPCR_BLOCK;
using ProtocolFilters::DPCR_FILTER;

namespace {
constexpr size_t kReadSize = 16384;
constexpr size_t kKeptCapacity = 65536; // buffers above this shrink once empty
// The filter holds a request of at most 1 MiB in all and lets larger ones
// pass; framing (chunk lines) is held too, so a held request may cost this
// and one header block, never more.
constexpr size_t kHeldRequestLimit = size_t(1) << 20;
} // namespace

size_t Session::heldLimit() const {
    return kHeldRequestLimit + m_settings.headerLimit;
}

void Session::readClient() {
    if (m_clientDone) {
        return;
    }
    size_t wanted = kReadSize;
    if (m_phase == Phase::Head || m_phase == Phase::Holding) {
        const size_t held = m_in.size();
        wanted = std::min(wanted, held < heldLimit() ? heldLimit() - held : 0);
    }
    // Once a request went on, the client is quiet until it has the answer,
    // whose write would fail on a reset.
    const bool answerDue =
        m_phase == Phase::Head && m_in.size() == 0 && m_tracker.outstanding() > 0;
    m_client.readSome(m_in.prepare(wanted),
                      answerDue ? DrainingSocket::AfterDrain::Wait
                                : DrainingSocket::AfterDrain::Check,
                      [self = shared_from_this()](const ErrorCode& error, size_t size) {
                          self->onClientRead(error, size);
                      });
}

void Session::onClientRead(const ErrorCode& error, size_t size) {
    if (m_finished) {
        return;
    }
    if (error) {
        clientEnded(error);
        return;
    }
    m_in.commit(size);
    touch();
    if (m_phase == Phase::Refusing) {
        m_in.consume(m_in.size()); // what a refused client still sends is dropped
        readClient();
        return;
    }
    handleInput();
}

void Session::clientEnded(const ErrorCode& error) {
    if (m_phase == Phase::Refusing) {
        finish();
        return;
    }
    m_clientDone = true;
    notifyDisconnect(ProtocolFilters::OT_TCP_DISCONNECT_REMOTE);
    if (m_finished) {
        return;
    }
    const bool betweenRequests = m_phase == Phase::Head && m_in.size() == 0;
    const bool quiet = betweenRequests && m_tracker.outstanding() == 0;
    if (error != boost::asio::error::eof || m_upState != Upstream::Connected || quiet ||
        (m_phase != Phase::Tunnel && !betweenRequests) ||
        (m_phase == Phase::Tunnel && m_upstreamDone)) {
        finish();
        return;
    }
    // Half closed: the server still answers what it was sent.
    ErrorCode ignored;
    m_upstream.shutdown(boost::asio::socket_base::shutdown_send, ignored);
}

void Session::handleInput() {
    bool again = true;
    while (again && !m_finished) {
        switch (m_phase) {
        case Phase::Head:
        case Phase::Holding:
            again = frameRequest();
            break;
        case Phase::Streaming:
            again = streamBody();
            break;
        case Phase::Tunnel:
            again = forwardTunnel();
            break;
        default:
            again = false;
            break;
        }
    }
}

// Before the first byte of a request is framed. An https client is
// tunnelled; anything else is framed, so that whatever a web server could
// read as a request is seen by the filter or refused. Line ends before a
// request are dropped as web servers drop them; the request's times run
// from the first of them, so that they cannot hold a connection open.
bool Session::startRequest() {
    if (m_in.size() == 0) {
        readClient();
        return false;
    }
    if (!m_started && RequestFramer::opensTls({input(), m_in.size()})) {
        NF_TRACE("netfilter: id=%llu opens TLS, tunnelled", static_cast<unsigned long long>(m_id));
        m_phase = Phase::Tunnel;
        m_headerSince.reset();
        m_tracker.passThrough();
        return true;
    }
    m_started = true;
    if (!m_requestSince) {
        m_requestSince = Clock::now();
        m_headerSince = m_headerSince.value_or(*m_requestSince);
        armTimer();
    }
    m_in.consume(RequestFramer::lineEndsBefore({input(), m_in.size()}));
    if (m_in.size() == 0) {
        readClient();
        return false;
    }
    return true;
}

bool Session::frameRequest() {
    if (m_phase == Phase::Head && m_parsed == 0 && !startRequest()) {
        return false;
    }
    if (m_phase == Phase::Tunnel) {
        return true;
    }
    const size_t before = m_parsed;
    const RequestFramer::Verdict verdict =
        m_framer.parse(input() + m_parsed, m_in.size() - m_parsed, m_parsed);
    if (verdict == RequestFramer::Verdict::BadRequest) {
        refuse(kBadRequest);
        return false;
    }
    if (verdict == RequestFramer::Verdict::HeaderTooLarge) {
        refuse(kHeaderTooLarge);
        return false;
    }
    if (!m_framer.headerDone() || (m_phase == Phase::Holding && m_parsed == before)) {
        readRequest();
        return false;
    }
    if (m_phase == Phase::Head) {
        m_phase = Phase::Holding;
        m_headerSince.reset();
    }
    m_requestComplete = verdict == RequestFramer::Verdict::Complete;
    return decide();
}

// More of a held request, while it stays within what may be held.
void Session::readRequest() {
    if (m_in.size() >= heldLimit()) {
        refuse(kPayloadTooLarge);
        return;
    }
    readClient();
}

// Asked each time more of the request has arrived, until the filter lets it
// through or closes.
bool Session::decide() {
    const int answer = askFilter();
    if (m_finished) {
        return false;
    }
    if (answer == DPCR_BLOCK) {
        finish();
        return false;
    }
    if (answer != DPCR_FILTER) {
        m_requestSince.reset();
        m_phase = Phase::Streaming;
        m_framer.keepBody(false);
        forward(m_parsed, true);
        return false;
    }
    if (m_requestComplete) {
        deliverRequest();
        return false;
    }
    if (m_framer.expectsContinue() && !m_continueSent && !m_answer) {
        // The client waits for this before it sends the body the filter holds for.
        m_continueSent = true;
        m_answer = &kContinue;
        flushAnswer();
    }
    readRequest();
    return false;
}

int Session::askFilter() {
    int answer = DPCR_FILTER;
    StreamObject& object = requestObject();
    deliver(
        [&](ProtocolFilters::PFEvents& sink) { answer = sink.dataPartAvailable(m_id, &object); });
    if (m_closeRequested) {
        finish();
    }
    return answer;
}

void Session::deliverRequest() {
    m_requestSince.reset();
    m_phase = Phase::AwaitingPost;
    m_posted = false;
    StreamObject& object = requestObject();
    deliver([&](ProtocolFilters::PFEvents& sink) { sink.dataAvailable(m_id, &object); });
    if (m_closeRequested) {
        finish();
    } else if (m_posted) {
        passHeld();
    }
    // Neither: the request waits for a pf_postObject or nf_tcpClose from
    // another thread, or for the idle time-out.
}

void Session::passHeld() {
    m_phase = Phase::Holding;
    forward(m_parsed, true);
}

bool Session::streamBody() {
    if (m_in.size() == 0) {
        readClient();
        return false;
    }
    const RequestFramer::Verdict verdict = m_framer.parse(input(), m_in.size(), m_parsed);
    if (verdict == RequestFramer::Verdict::BadRequest) {
        // Part of the request has gone on already; only a close is left.
        NF_TRACE("netfilter: id=%llu closed, bad chunked body",
                 static_cast<unsigned long long>(m_id));
        finish();
        return false;
    }
    m_requestComplete = verdict == RequestFramer::Verdict::Complete;
    if (m_parsed == 0) {
        readClient();
        return false;
    }
    forward(m_parsed, false);
    return false;
}

bool Session::forwardTunnel() {
    if (m_in.size() == 0) {
        readClient();
        return false;
    }
    m_parsed = m_in.size();
    forward(m_parsed, false);
    return false;
}

void Session::forward(size_t size, bool withHead) {
    m_forwarding = size;
    const char* data = input();
    m_upBuffers = {boost::asio::const_buffer(data, size), {}, {}};
    if (withHead) {
        m_expectation =
            ResponseTracker::Expectation{m_framer.isHead(), m_framer.upgrade(), m_continueSent};
        if (m_answer == &kContinue) {
            m_answer = nullptr; // not sent yet: the server's own 100 will do
            m_expectation->continueSent = false;
        }
        if (m_settings.forwardClient == ForwardClient::XForwardedFor) {
            const size_t split = m_framer.headSize() - 2; // before the empty line
            m_upBuffers = {boost::asio::const_buffer(data, split),
                           boost::asio::buffer(m_clientLine),
                           boost::asio::const_buffer(data + split, size - split)};
        }
    }
    sendUpstream();
}

void Session::onForwarded(const ErrorCode& error) {
    if (m_finished) {
        return;
    }
    if (error) {
        upstreamEnded(error);
        return;
    }
    touch();
    m_in.consume(m_forwarding);
    m_parsed -= m_forwarding;
    m_forwarding = 0;
    if (m_phase != Phase::Tunnel && m_requestComplete) {
        requestDone();
    }
    handleInput();
}

void Session::requestDone() {
    const bool upgrade = m_framer.upgrade();
    m_framer.reset();
    m_framer.keepBody(true);
    m_requestComplete = false;
    m_continueSent = false;
    m_phase = upgrade ? Phase::AwaitingUpgrade : Phase::Head;
    if (m_in.size() == 0 && m_in.capacity() > kKeptCapacity) {
        m_in.shrink_to_fit();
    }
    if (upgrade) {
        applyUpgrade();
    }
}

// The server's answer to an upgrade request may arrive before the request's
// write has completed; whichever comes second moves on.
void Session::applyUpgrade() {
    if (m_phase != Phase::AwaitingUpgrade || m_upgradeAnswer == UpgradeAnswer::None) {
        return;
    }
    m_phase = m_upgradeAnswer == UpgradeAnswer::Accepted ? Phase::Tunnel : Phase::Head;
    m_upgradeAnswer = UpgradeAnswer::None;
}

void Session::refuse(const LocalAnswer& answer) {
    NF_TRACE("netfilter: id=%llu answered %s", static_cast<unsigned long long>(m_id),
             answer.reason);
    m_phase = Phase::Refusing;
    m_headerSince.reset();
    m_requestSince.reset();
    m_answer = &answer;
    flushAnswer();
}

StreamObject& Session::requestObject() {
    const char* data = input();
    const size_t line = m_framer.lineSize();
    const size_t head = m_framer.headSize();
    const std::string_view body = m_framer.chunked()
                                      ? m_framer.chunkedBody()
                                      : std::string_view(data + head, m_parsed - head);
    m_object.setRequest({data, line}, {data + line, head - line}, body);
    return m_object;
}

} // namespace platform::netfilter
