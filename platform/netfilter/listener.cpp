#include "platform/netfilter/listener.h"

#include "platform/filter_report.h"
#include "platform/netfilter/close_on_exec.h"
#include "platform/netfilter/layer_trace.h"
#include "platform/netfilter/session.h"
#include "platform/netfilter/worker.h"

#include <boost/asio/socket_base.hpp>
#include <sys/socket.h>
#include <unistd.h>

namespace platform::netfilter {

using boost::asio::ip::tcp;
using boost::system::error_code;

namespace {
using ReusePort = boost::asio::detail::socket_option::boolean<SOL_SOCKET, SO_REUSEPORT>;
constexpr std::chrono::milliseconds kAcceptRetry{100};

bool isDescriptorShortage(const error_code& error) {
    return error == boost::asio::error::no_descriptors || error.value() == ENFILE;
}

} // namespace

Listener::Listener(Worker& worker, tcp protocol, int handle, std::shared_ptr<const Route> route)
    : m_worker(worker), m_protocol(protocol), m_handle(handle), m_acceptor(worker.context()),
      m_route(std::move(route)), m_retry(worker.context()) {}

Listener::~Listener() {
    if (m_handle >= 0) {
        ::close(m_handle); // never started
    }
}

std::unique_ptr<Listener> Listener::open(Worker& worker, const tcp::endpoint& at,
                                         std::shared_ptr<const Route> route, error_code& error) {
    boost::asio::io_context opener; // not the worker's: see the header
    tcp::acceptor acceptor(opener);
    acceptor.open(at.protocol(), error);
    if (!error) {
        keepFromChildren(acceptor.native_handle(), error);
    }
    if (!error) {
        acceptor.set_option(tcp::acceptor::reuse_address(true), error);
    }
    if (!error) {
        acceptor.set_option(ReusePort(true), error);
    }
    if (!error) {
        acceptor.bind(at, error);
    }
    if (!error) {
        acceptor.listen(boost::asio::socket_base::max_listen_connections, error);
    }
    const int handle = error ? -1 : acceptor.release(error);
    if (error) {
        return nullptr;
    }
    return std::make_unique<Listener>(worker, at.protocol(), handle, std::move(route));
}

void Listener::start() {
    error_code error;
    m_acceptor.assign(m_protocol, m_handle, error);
    if (error) {
        NF_TRACE("netfilter: port %u not accepted on: %s", unsigned(m_route->port),
                 error.message().c_str());
        return; // the destructor closes the socket
    }
    m_handle = -1;
    accept();
}

void Listener::close() {
    error_code ignored;
    m_acceptor.close(ignored);
    m_retry.cancel();
}

void Listener::accept() {
    m_acceptor.async_accept(m_worker.context(),
                            [this](const error_code& error, tcp::socket socket) {
                                onAccept(error, std::move(socket));
                            });
}

void Listener::onAccept(const error_code& error, tcp::socket socket) {
    if (error == boost::asio::error::operation_aborted || m_worker.stopping()) {
        return;
    }
    if (error) {
        NF_TRACE("netfilter: accept on port %u failed: %s", unsigned(m_route->port),
                 error.message().c_str());
        if (isDescriptorShortage(error)) {
            countDescriptorShortage();
        }
        // The connection stays queued; accepting again at once would only spin.
        m_retry.expires_after(kAcceptRetry);
        m_retry.async_wait([this](const error_code& waited) {
            if (!waited && !m_worker.stopping()) {
                accept();
            }
        });
        return;
    }
    error_code ignored;
    keepFromChildren(socket.native_handle(), ignored);
    const uint64_t id = m_worker.layer().nextId.fetch_add(1, std::memory_order_relaxed);
    std::make_shared<Session>(m_worker, std::move(socket), m_route, id)->start();
    accept();
}

} // namespace platform::netfilter
