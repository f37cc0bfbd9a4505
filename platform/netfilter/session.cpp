#include "platform/netfilter/session.h"

#include "platform/netfilter/conn_info.h"
#include "platform/netfilter/layer_context.h"
#include "platform/netfilter/layer_trace.h"
#include "platform/netfilter/worker.h"

namespace platform::netfilter {

using boost::asio::ip::tcp;

namespace {
thread_local Session* t_current = nullptr;
constexpr std::chrono::seconds kLinger{2}; // to let a closing answer reach the client
} // namespace

Session::Session(Worker& worker, tcp::socket client, std::shared_ptr<const Route> route,
                 uint64_t id)
    : m_worker(worker), m_layer(worker.layer()), m_settings(m_layer.settings), m_sink(m_layer.sink),
      m_route(std::move(route)), m_id(id), m_client(std::move(client)),
      m_upstream(worker.context()), m_timer(worker.context()), m_framer(m_settings.headerLimit) {}

boost::asio::io_context& Session::context() {
    return m_worker.context();
}

Session* Session::current() {
    return t_current;
}

Session* Session::enterEvent() {
    Session* outer = t_current;
    t_current = this;
    m_inEvent = true;
    return outer;
}

void Session::leaveEvent(Session* outer) {
    m_inEvent = false;
    t_current = outer;
}

void Session::start() {
    ErrorCode remoteError;
    ErrorCode localError;
    const tcp::endpoint remote = m_client.remote_endpoint(remoteError);
    const tcp::endpoint local = m_client.local_endpoint(localError);
    if (remoteError || localError) {
        return; // gone before it could be reported
    }
    ErrorCode ignored;
    m_client.set_option(tcp::no_delay(true), ignored);
    m_client.reportWhatIsLeft();
    m_info = connInfo(local, remote);
    m_layer.table.insert(m_id, shared_from_this());
    m_worker.track(this);
    touch();
    m_inConnected = true;
    deliver([this](ProtocolFilters::PFEvents& sink) { sink.tcpConnected(m_id, &m_info); });
    m_inConnected = false;
    if (m_closeRequested) {
        finish();
        return;
    }
    m_http = m_filterRequested;
    if (m_http) {
        m_headerSince = Clock::now();
    } else {
        m_phase = Phase::Tunnel;
        m_tracker.passThrough();
    }
    prepareClientLine(local, remote);
    armTimer();
    if (!m_http) {
        connectUpstream(); // the server may speak first
    }
    handleInput();
}

void Session::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    const auto self = shared_from_this();
    ErrorCode ignored;
    m_timer.cancel();
    m_client.close(ignored);
    m_upstream.close(ignored);
    m_layer.table.erase(m_id);
    m_worker.untrack(this);
    deliver([this](ProtocolFilters::PFEvents& sink) { sink.tcpClosed(m_id, &m_info); });
}

void Session::requestClose() {
    if (m_inEvent) {
        m_closeRequested = true;
    } else {
        finish();
    }
}

bool Session::requestFilter() {
    if (!m_inConnected) {
        return false; // the choice is made when the connection opens
    }
    m_filterRequested = true;
    m_filtered.store(true, std::memory_order_relaxed);
    return true;
}

void Session::postObject(const ProtocolFilters::PFObject* object) {
    if (object != &m_object || m_phase != Phase::AwaitingPost) {
        return; // a disconnect notice, or a request already passed on
    }
    if (m_inEvent) {
        m_posted = true;
    } else {
        passHeld();
    }
}

void Session::notifyDisconnect(int type) {
    bool& noticed =
        type == ProtocolFilters::OT_TCP_DISCONNECT_REMOTE ? m_remoteNoticed : m_localNoticed;
    if (!m_http || noticed || m_finished) {
        return;
    }
    noticed = true;
    StreamObject notice(type);
    deliver([&](ProtocolFilters::PFEvents& sink) { sink.dataAvailable(m_id, &notice); });
    if (m_closeRequested) {
        finish();
    }
}

Session::Clock::time_point Session::deadline() const {
    Clock::time_point due = m_lastActivity + m_settings.idleTimeout;
    if (m_headerSince) {
        due = std::min(due, *m_headerSince + m_settings.headerTimeout);
    }
    if (m_requestSince) {
        due = std::min(due, *m_requestSince + m_settings.requestTimeout);
    }
    if (m_lingerSince) {
        due = std::min(due, *m_lingerSince + kLinger);
    }
    return due;
}

void Session::armTimer() {
    const Clock::time_point due = deadline();
    if (m_timerArmed && m_timer.expiry() <= due) {
        return;
    }
    m_timerArmed = true;
    m_timer.expires_at(due);
    m_timer.async_wait(
        [self = shared_from_this()](const ErrorCode& error) { self->onTimer(error); });
}

void Session::onTimer(const ErrorCode& error) {
    const Clock::time_point now = Clock::now();
    if (error || m_finished || m_timer.expiry() > now) {
        return; // cancelled, or armed again for a later time
    }
    m_timerArmed = false;
    if (m_lingerSince && now >= *m_lingerSince + kLinger) {
        finish();
        return;
    }
    if (m_headerSince && now >= *m_headerSince + m_settings.headerTimeout) {
        NF_TRACE("netfilter: id=%llu closed, header not complete in time",
                 static_cast<unsigned long long>(m_id));
        finish();
        return;
    }
    if (m_requestSince && now >= *m_requestSince + m_settings.requestTimeout) {
        NF_TRACE("netfilter: id=%llu closed, request not complete in time",
                 static_cast<unsigned long long>(m_id));
        finish();
        return;
    }
    if (now >= m_lastActivity + m_settings.idleTimeout) {
        NF_TRACE("netfilter: id=%llu closed, idle too long", static_cast<unsigned long long>(m_id));
        finish();
        return;
    }
    armTimer();
}

void Session::prepareClientLine(const tcp::endpoint& local, const tcp::endpoint& remote) {
    const tcp::endpoint client = unmapped(remote);
    if (m_settings.forwardClient == ForwardClient::XForwardedFor && m_http) {
        m_clientLine = "X-Forwarded-For: " + client.address().to_string() + "\r\n";
    } else if (m_settings.forwardClient == ForwardClient::ProxyV1) {
        const tcp::endpoint server = unmapped(local);
        if (client.address().is_v4() != server.address().is_v4()) {
            m_clientLine = "PROXY UNKNOWN\r\n";
            return;
        }
        m_clientLine = std::string("PROXY ") + (client.address().is_v4() ? "TCP4 " : "TCP6 ") +
                       client.address().to_string() + " " + server.address().to_string() + " " +
                       std::to_string(client.port()) + " " + std::to_string(server.port()) + "\r\n";
    }
}

} // namespace platform::netfilter
