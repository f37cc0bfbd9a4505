#pragma once

// Accepts the connections of one filtered port on one worker. Every worker
// has its own listening socket on the port (SO_REUSEPORT), so the kernel
// spreads the connections and no accept is shared between threads.

#include "platform/netfilter/route.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <memory>

namespace platform::netfilter {

class Worker;

class Listener {
public:
    Listener(Worker& worker, boost::asio::ip::tcp protocol, int handle,
             std::shared_ptr<const Route> route);
    ~Listener();
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    // Opens, binds and listens, on any thread; the reason in error. The
    // worker's loop takes the socket only in start(), on its own thread:
    // its sockets are touched by no other thread, so the loop runs without
    // per-socket locks.
    [[nodiscard]] static std::unique_ptr<Listener> open(Worker& worker,
                                                        const boost::asio::ip::tcp::endpoint& at,
                                                        std::shared_ptr<const Route> route,
                                                        boost::system::error_code& error);

    // On the worker's thread.
    void start();
    void close();

private:
    void accept();
    void onAccept(const boost::system::error_code& error, boost::asio::ip::tcp::socket socket);

    Worker& m_worker;
    boost::asio::ip::tcp m_protocol;
    int m_handle; // the listening socket until start() hands it to m_acceptor
    boost::asio::ip::tcp::acceptor m_acceptor;
    std::shared_ptr<const Route> m_route;
    boost::asio::steady_timer m_retry; // after a failed accept (out of descriptors)
};

} // namespace platform::netfilter
