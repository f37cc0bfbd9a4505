#include "platform/netfilter/layer.h"

#include "platform/filter_report.h"
#include "platform/netfilter/layer_trace.h"
#include "platform/netfilter/listener.h"
#include "platform/netfilter/session.h"
#include "platform/netfilter/worker.h"

#include <algorithm>
#include <arpa/inet.h>
#include <boost/asio/post.hpp>

namespace platform::netfilter {

using boost::asio::ip::tcp;
using nfapi::NF_STATUS;

namespace {

// File names reach us wide; the file system takes UTF-8.
std::string utf8Of(const wchar_t* text) {
    std::string out;
    for (; *text != 0; ++text) {
        const auto c = static_cast<uint32_t>(*text);
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += {char(0xC0 | c >> 6), char(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {char(0xE0 | c >> 12), char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
        } else {
            out += {char(0xF0 | c >> 18), char(0x80 | (c >> 12 & 0x3F)),
                    char(0x80 | (c >> 6 & 0x3F)), char(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

bool resolveUpstream(const std::string& text, std::vector<tcp::endpoint>& endpoints) {
    std::string host;
    std::string port;
    if (!splitHostPort(text, host, port)) {
        return false;
    }
    boost::asio::io_context context;
    tcp::resolver resolver(context);
    boost::system::error_code error;
    const auto results = resolver.resolve(host, port, error);
    for (const auto& entry : results) {
        endpoints.push_back(entry.endpoint());
    }
    return !error && !endpoints.empty();
}

} // namespace

Layer& Layer::instance() {
    static Layer* layer = new Layer; // never destroyed: workers may outlive static objects
    return *layer;
}

int Layer::init(ProtocolFilters::PFEvents* sink, const wchar_t* folder) {
    std::lock_guard guard(m_lifecycle);
    stopWorkers();
    m_handler.sink = nullptr;
    if (sink == nullptr || folder == nullptr) {
        return 0;
    }
    const std::string path = utf8Of(folder);
    if (!readSettings(path, m_context.settings)) {
        NF_TRACE("netfilter: cannot read %s/netfilter.ini", path.c_str());
        return 0;
    }
    boost::system::error_code error;
    boost::asio::ip::make_address(m_context.settings.listen, error);
    if (error) {
        NF_TRACE("netfilter: listen=%s is not an address", m_context.settings.listen.c_str());
        return 0;
    }
    m_handler.sink = sink;
    return 1;
}

void Layer::free() {
    std::lock_guard guard(m_lifecycle);
    stopWorkers();
    m_handler.sink = nullptr;
}

NF_STATUS Layer::start(const nfapi::NF_EventHandler* handler) {
    std::lock_guard guard(m_lifecycle);
    if (handler != &m_handler || m_handler.sink == nullptr) {
        return nfapi::NF_STATUS_NOT_INITIALIZED;
    }
    if (!m_workers.empty()) {
        return nfapi::NF_STATUS_FAIL;
    }
    m_context.sink = m_handler.sink;
    m_context.operatorLog = m_operatorLog;
    m_context.unreachable.clear();
    for (unsigned i = 0; i < m_context.settings.threads; ++i) {
        m_workers.push_back(std::make_unique<Worker>(m_context));
        m_workers.back()->start();
    }
    return nfapi::NF_STATUS_SUCCESS;
}

void Layer::stop() {
    std::lock_guard guard(m_lifecycle);
    stopWorkers();
}

void Layer::stopWorkers() {
    for (const auto& worker : m_workers) {
        worker->stop();
    }
    std::unique_lock loops(m_loops);
    m_workers.clear();
    m_ports.clear();
}

NF_STATUS Layer::addRule(const nfapi::NF_RULE& rule) {
    std::lock_guard guard(m_lifecycle);
    setRuleFailure({});
    if (m_workers.empty()) {
        setRuleFailure("the layer is not started");
        return nfapi::NF_STATUS_NOT_INITIALIZED;
    }
    const uint16_t port = ntohs(rule.localPort);
    if (rule.protocol != nfapi::NF_IPPROTO_TCP || rule.direction != nfapi::NF_D_IN) {
        setRuleFailure("only inbound TCP is filtered");
        NF_TRACE("netfilter: rule for port %u refused, only inbound TCP is filtered",
                 unsigned(port));
        return nfapi::NF_STATUS_FAIL;
    }
    if (std::find(m_ports.begin(), m_ports.end(), port) != m_ports.end()) {
        return nfapi::NF_STATUS_SUCCESS;
    }
    const Settings& settings = m_context.settings;
    auto route = std::make_shared<Route>();
    route->port = port;
    const std::string upstream = upstreamText(settings, port);
    route->address = upstream;
    if (upstream.empty() || !resolveUpstream(upstream, route->upstream)) {
        NF_TRACE("netfilter: port %u not filtered, [upstream] %u=%s in %s is missing or wrong",
                 unsigned(port), unsigned(port), upstream.c_str(), settings.path.c_str());
        setRuleFailure((upstream.empty() ? "no upstream" : "no usable upstream") +
                       std::string(" for port ") + std::to_string(port) + " in " + settings.path);
        return nfapi::NF_STATUS_FAIL;
    }
    const tcp::endpoint at(boost::asio::ip::make_address(settings.listen), port);
    std::vector<std::unique_ptr<Listener>> listeners;
    for (const auto& worker : m_workers) {
        boost::system::error_code error;
        listeners.push_back(Listener::open(*worker, at, route, error));
        if (!listeners.back()) {
            NF_TRACE("netfilter: cannot listen on %s port %u: %s", settings.listen.c_str(),
                     unsigned(port), error.message().c_str());
            setRuleFailure(error.message());
            return nfapi::NF_STATUS_IO_ERROR;
        }
    }
    for (size_t i = 0; i < m_workers.size(); ++i) {
        m_workers[i]->adopt(std::move(listeners[i]));
    }
    m_ports.push_back(port);
    return nfapi::NF_STATUS_SUCCESS;
}

void Layer::setOperatorLog(OperatorLog log) {
    std::lock_guard guard(m_lifecycle);
    m_operatorLog = std::move(log);
}

// Runs call on the connection's own thread: at once when it comes from
// inside one of the connection's events, else posted onto its loop.
template <typename Call> bool Layer::dispatch(uint64_t id, Call call) {
    Session* current = Session::current();
    if (current != nullptr && current->id() == id) {
        call(*current);
        return true;
    }
    std::shared_lock loops(m_loops);
    std::shared_ptr<Session> session = m_context.table.find(id);
    if (!session) {
        return false;
    }
    boost::asio::io_context& context = session->context();
    boost::asio::post(context, [session = std::move(session), call] { call(*session); });
    return true;
}

bool Layer::close(uint64_t id) {
    return dispatch(id, [](Session& session) { session.requestClose(); });
}

bool Layer::addFilter(uint64_t id) {
    Session* current = Session::current();
    return current != nullptr && current->id() == id && current->requestFilter();
}

bool Layer::post(uint64_t id, const ProtocolFilters::PFObject* object) {
    return dispatch(id, [object](Session& session) { session.postObject(object); });
}

bool Layer::filtered(uint64_t id) {
    Session* current = Session::current();
    if (current != nullptr && current->id() == id) {
        return current->filtered();
    }
    const std::shared_ptr<Session> session = m_context.table.find(id);
    return session && session->filtered();
}

bool Layer::known(uint64_t id) {
    Session* current = Session::current();
    return (current != nullptr && current->id() == id) || m_context.table.find(id) != nullptr;
}

} // namespace platform::netfilter
