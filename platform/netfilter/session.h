#pragma once

// One accepted client connection and its connection to the web server.
// Every member is touched on the worker's thread only; the sink's calls from
// other threads reach it through the connection table and the worker's loop.

#include "platform/netfilter/ProtocolFilters.h"
#include "platform/netfilter/draining_socket.h"
#include "platform/netfilter/local_answers.h"
#include "platform/netfilter/request_framer.h"
#include "platform/netfilter/response_tracker.h"
#include "platform/netfilter/route.h"
#include "platform/netfilter/stream_object.h"

#include <array>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

namespace platform::netfilter {

class Worker;
struct LayerContext;
struct Settings;

class Session : public std::enable_shared_from_this<Session> {
public:
    Session(Worker& worker, boost::asio::ip::tcp::socket client, std::shared_ptr<const Route> route,
            uint64_t id);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    // tcpConnected, then the connection is closed, filtered or tunnelled.
    void start();
    // Closes both sides and reports tcpClosed; once.
    void finish();

    uint64_t id() const { return m_id; }
    boost::asio::io_context& context();
    // The connection whose event runs on this thread, if any.
    static Session* current();

    // The sink's calls, on the worker's thread. Inside one of this
    // connection's events they take effect when the event returns.
    void requestClose();
    bool requestFilter();
    void postObject(const ProtocolFilters::PFObject* object);
    bool filtered() const { return m_filtered.load(std::memory_order_relaxed); }

private:
    using Clock = std::chrono::steady_clock;
    using ErrorCode = boost::system::error_code;

    enum class Phase {
        Head,            // waiting for a request's header block
        Holding,         // the filter holds the request while the rest arrives
        Streaming,       // the filter let the request through: its body is relayed
        AwaitingPost,    // the whole request is with the filter
        AwaitingUpgrade, // an upgrade request went on; its answer decides
        Tunnel,          // bytes both ways, untouched
        Refusing,        // a closing answer of the layer, then the close
    };
    enum class Upstream { Idle, Connecting, Connected, Failed };
    enum class UpgradeAnswer { None, Accepted, Refused };

    // Marks the time one of this connection's events runs on the thread, so
    // that the sink's calls from inside it are recognised.
    class EventScope {
    public:
        explicit EventScope(Session& session) : m_session(session), m_outer(session.enterEvent()) {}
        ~EventScope() { m_session.leaveEvent(m_outer); }
        EventScope(const EventScope&) = delete;
        EventScope& operator=(const EventScope&) = delete;

    private:
        Session& m_session;
        Session* m_outer;
    };

    template <typename Event> void deliver(Event&& event) {
        EventScope scope(*this);
        event(*m_sink);
    }

    // session.cpp: events, the sink's calls, time-outs.
    Session* enterEvent();
    void leaveEvent(Session* outer);
    void notifyDisconnect(int type);
    void touch() { m_lastActivity = Clock::now(); }
    Clock::time_point deadline() const;
    void armTimer();
    void onTimer(const ErrorCode& error);
    void prepareClientLine(const boost::asio::ip::tcp::endpoint& local,
                           const boost::asio::ip::tcp::endpoint& remote);

    // session_requests.cpp: the client's side.
    void readClient();
    void onClientRead(const ErrorCode& error, size_t size);
    void clientEnded(const ErrorCode& error);
    void handleInput();
    bool startRequest();
    bool frameRequest();
    void readRequest();
    size_t heldLimit() const;
    bool decide();
    int askFilter();
    void deliverRequest();
    void passHeld();
    bool streamBody();
    bool forwardTunnel();
    void forward(size_t size, bool withHead);
    void onForwarded(const ErrorCode& error);
    void requestDone();
    void applyUpgrade();
    void refuse(const LocalAnswer& answer);
    StreamObject& requestObject();
    const char* input() const { return static_cast<const char*>(m_in.data().data()); }

    // session_upstream.cpp: the web server's side and the answers to the client.
    void connectUpstream();
    void onConnected(const ErrorCode& error);
    void reportUnreachable(const ErrorCode& error);
    void upstreamReady();
    void sendUpstream();
    void readUpstream();
    void onUpstreamRead(const ErrorCode& error, size_t size);
    void upstreamEnded(const ErrorCode& error);
    void writeRelay();
    void onRelayed(const ErrorCode& error);
    void afterRelay();
    void onUpgradeAnswer(bool accepted);
    void flushAnswer();
    void onAnswered(const ErrorCode& error);
    void linger();

    Worker& m_worker;
    LayerContext& m_layer;
    const Settings& m_settings;
    ProtocolFilters::PFEvents* m_sink;
    std::shared_ptr<const Route> m_route;
    const uint64_t m_id;
    DrainingSocket m_client;
    DrainingSocket m_upstream;
    boost::asio::steady_timer m_timer;
    nfapi::TcpConnInfo m_info{};
    std::atomic<bool> m_filtered{false};

    // What the sink asked for during its event.
    bool m_inEvent = false;
    bool m_inConnected = false;
    bool m_closeRequested = false;
    bool m_filterRequested = false;
    bool m_posted = false;

    bool m_finished = false;
    bool m_http = false;
    Phase m_phase = Phase::Head;
    Upstream m_upState = Upstream::Idle;
    bool m_upWaiting = false; // a write waits for the connection
    bool m_clientDone = false;
    bool m_upstreamDone = false;
    bool m_remoteNoticed = false;
    bool m_localNoticed = false;

    // Client to server: the bytes as received, from the current request's start.
    boost::beast::flat_buffer m_in;
    size_t m_parsed = 0;     // of m_in, taken by the framer
    size_t m_forwarding = 0; // of m_in, in the write under way
    bool m_requestComplete = false;
    bool m_started = false; // a byte of the client's was taken
    bool m_continueSent = false;
    UpgradeAnswer m_upgradeAnswer = UpgradeAnswer::None;
    RequestFramer m_framer;
    StreamObject m_object;
    std::optional<ResponseTracker::Expectation> m_expectation;
    std::array<boost::asio::const_buffer, 3> m_upBuffers;
    std::string m_clientLine; // the X-Forwarded-For field or the PROXY line

    // Server to client.
    boost::beast::flat_buffer m_out;
    ResponseTracker m_tracker;
    ResponseTracker::Outcome m_relayOutcome = ResponseTracker::Outcome::None;
    bool m_relaying = false;
    bool m_relayWaiting = false;
    const LocalAnswer* m_answer = nullptr;        // waiting for its turn
    const LocalAnswer* m_answerWriting = nullptr; // being written

    Clock::time_point m_lastActivity;
    std::optional<Clock::time_point> m_headerSince;
    std::optional<Clock::time_point> m_requestSince; // until the filter has it or let it go
    std::optional<Clock::time_point> m_lingerSince;
    bool m_timerArmed = false;
};

} // namespace platform::netfilter
