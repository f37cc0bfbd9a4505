// The web server's side of a connection, and everything written to the
// client: the relayed responses and the layer's own answers, one at a time.

#include "platform/netfilter/buffer_list.h"
#include "platform/netfilter/close_on_exec.h"
#include "platform/netfilter/layer_context.h"
#include "platform/netfilter/layer_trace.h"
#include "platform/netfilter/session.h"
#include "platform/netfilter/settings.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/write.hpp>

namespace platform::netfilter {

using boost::asio::ip::tcp;
using Outcome = ResponseTracker::Outcome;

namespace {
constexpr size_t kReadSize = 16384;

BufferList listOf(const std::vector<boost::asio::const_buffer>& buffers) {
    return {buffers.data(), buffers.data() + buffers.size()};
}
} // namespace

// A filtered connection reaches the server only with its first request, so
// that clients which never complete one cost the server nothing.
void Session::connectUpstream() {
    m_upState = Upstream::Connecting;
    boost::asio::async_connect(
        m_upstream, m_route->upstream,
        [self = shared_from_this()](const ErrorCode& error, const tcp::endpoint&) {
            self->onConnected(error);
        });
}

void Session::onConnected(const ErrorCode& error) {
    if (m_finished) {
        return;
    }
    if (error) {
        reportUnreachable(error);
        m_upState = Upstream::Failed;
        if (m_phase == Phase::Tunnel) {
            finish();
        } else if (m_upWaiting) {
            m_upWaiting = false;
            refuse(kBadGateway);
        }
        return;
    }
    ErrorCode ignored;
    keepFromChildren(m_upstream.native_handle(), ignored);
    m_upstream.set_option(tcp::no_delay(true), ignored);
    m_upstream.reportWhatIsLeft();
    if (m_settings.forwardClient != ForwardClient::ProxyV1) {
        upstreamReady();
        return;
    }
    boost::asio::async_write(m_upstream, boost::asio::buffer(m_clientLine),
                             [self = shared_from_this()](const ErrorCode& written, size_t) {
                                 if (self->m_finished) {
                                     return;
                                 }
                                 if (written) {
                                     self->upstreamEnded(written);
                                     return;
                                 }
                                 self->upstreamReady();
                             });
}

void Session::reportUnreachable(const ErrorCode& error) {
    NF_TRACE("netfilter: id=%llu web server %s of port %u unreachable: %s",
             static_cast<unsigned long long>(m_id), m_route->address.c_str(),
             unsigned(m_route->port), error.message().c_str());
    if (m_layer.operatorLog && m_layer.unreachable.open(m_route->address, Clock::now())) {
        m_layer.operatorLog("Failed to reach web server " + m_route->address + " of port " +
                            std::to_string(m_route->port) + ": " + error.message());
    }
}

void Session::upstreamReady() {
    m_upState = Upstream::Connected;
    readUpstream();
    if (m_upWaiting) {
        m_upWaiting = false;
        sendUpstream();
    }
}

void Session::sendUpstream() {
    if (m_upState == Upstream::Idle || m_upState == Upstream::Connecting) {
        m_upWaiting = true;
        if (m_upState == Upstream::Idle) {
            connectUpstream();
        }
        return;
    }
    if (m_upState == Upstream::Failed) {
        if (m_phase == Phase::Tunnel) {
            finish();
        } else {
            refuse(kBadGateway);
        }
        return;
    }
    if (m_expectation) {
        m_tracker.expect(*m_expectation); // before the server can answer it
        m_expectation.reset();
    }
    boost::asio::async_write(
        m_upstream, BufferList{m_upBuffers.data(), m_upBuffers.data() + m_upBuffers.size()},
        [self = shared_from_this()](const ErrorCode& error, size_t) { self->onForwarded(error); });
}

void Session::readUpstream() {
    // Between answers the server is quiet until the next request, whose
    // write would fail on a reset.
    const bool answered = m_phase != Phase::Tunnel && m_tracker.outstanding() == 0;
    m_upstream.readSome(m_out.prepare(kReadSize),
                        answered ? DrainingSocket::AfterDrain::Wait
                                 : DrainingSocket::AfterDrain::Check,
                        [self = shared_from_this()](const ErrorCode& error, size_t size) {
                            self->onUpstreamRead(error, size);
                        });
}

void Session::onUpstreamRead(const ErrorCode& error, size_t size) {
    if (m_finished || m_lingerSince) {
        return;
    }
    if (error) {
        upstreamEnded(error);
        return;
    }
    m_out.commit(size);
    touch();
    m_relayOutcome = m_tracker.feed(static_cast<const char*>(m_out.data().data()), m_out.size());
    writeRelay();
}

void Session::upstreamEnded(const ErrorCode& error) {
    m_upstreamDone = true;
    notifyDisconnect(ProtocolFilters::OT_TCP_DISCONNECT_LOCAL);
    if (m_finished) {
        return;
    }
    if (m_phase == Phase::Tunnel && error == boost::asio::error::eof && !m_clientDone) {
        ErrorCode ignored;
        m_client.shutdown(boost::asio::socket_base::shutdown_send, ignored);
        return;
    }
    if (error != boost::asio::error::eof || m_relaying) {
        finish();
        return;
    }
    // What the server sent last (a response ended by the close) goes out first.
    m_tracker.flush();
    m_relayOutcome = Outcome::None;
    writeRelay();
}

void Session::writeRelay() {
    if (m_tracker.buffers().empty()) {
        afterRelay();
        return;
    }
    if (m_answerWriting) {
        m_relayWaiting = true;
        return;
    }
    m_relaying = true;
    boost::asio::async_write(
        m_client, listOf(m_tracker.buffers()),
        [self = shared_from_this()](const ErrorCode& error, size_t) { self->onRelayed(error); });
}

void Session::onRelayed(const ErrorCode& error) {
    m_relaying = false;
    if (m_finished) {
        return;
    }
    if (error) {
        notifyDisconnect(ProtocolFilters::OT_TCP_DISCONNECT_REMOTE);
        finish();
        return;
    }
    touch();
    afterRelay();
}

void Session::afterRelay() {
    m_out.consume(m_out.size());
    const Outcome outcome = m_relayOutcome;
    m_relayOutcome = Outcome::None;
    if (outcome == Outcome::Failed) {
        NF_TRACE("netfilter: id=%llu closed, the web server's answer is not HTTP",
                 static_cast<unsigned long long>(m_id));
        finish();
        return;
    }
    if (outcome == Outcome::Upgraded || outcome == Outcome::UpgradeRefused) {
        onUpgradeAnswer(outcome == Outcome::Upgraded);
    }
    if (m_finished) {
        return;
    }
    if (m_upstreamDone ||
        (m_clientDone && m_phase != Phase::Tunnel && m_tracker.outstanding() == 0)) {
        finish();
        return;
    }
    flushAnswer();
    readUpstream();
}

void Session::onUpgradeAnswer(bool accepted) {
    m_upgradeAnswer = accepted ? UpgradeAnswer::Accepted : UpgradeAnswer::Refused;
    if (m_phase == Phase::AwaitingUpgrade) {
        applyUpgrade();
        handleInput();
    }
}

// An answer of the layer waits until every response before it has gone out.
void Session::flushAnswer() {
    if (!m_answer || m_answerWriting || m_relaying || m_tracker.outstanding() > 0) {
        return;
    }
    m_answerWriting = m_answer;
    m_answer = nullptr;
    boost::asio::async_write(
        m_client, boost::asio::buffer(m_answerWriting->text.data(), m_answerWriting->text.size()),
        [self = shared_from_this()](const ErrorCode& error, size_t) { self->onAnswered(error); });
}

void Session::onAnswered(const ErrorCode& error) {
    const LocalAnswer* written = m_answerWriting;
    m_answerWriting = nullptr;
    if (m_finished) {
        return;
    }
    if (error) {
        finish();
        return;
    }
    touch();
    if (written->closes) {
        linger();
        return;
    }
    if (m_relayWaiting) {
        m_relayWaiting = false;
        writeRelay();
    }
    flushAnswer();
}

// Closing at once could reset the connection before the client has read the
// answer, when it is still sending: stop sending, read until it stops too.
void Session::linger() {
    ErrorCode ignored;
    m_client.shutdown(boost::asio::socket_base::shutdown_send, ignored);
    m_upstream.close(ignored);
    m_lingerSince = Clock::now();
    armTimer();
    m_in.consume(m_in.size());
    readClient();
}

} // namespace platform::netfilter
