#pragma once

// One worker thread with its own event loop. Everything a connection does
// happens on the worker that accepted it, so the data path takes no lock.

#include "platform/netfilter/layer_context.h"

#include <boost/asio/detail/concurrency_hint.hpp>
#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <memory>
#include <thread>
#include <unordered_set>
#include <vector>

namespace platform::netfilter {

class Listener;
class Session;

class Worker {
public:
    explicit Worker(LayerContext& layer);
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    void start();
    // Closes the listeners and every connection (each gets its tcpClosed)
    // on the worker's thread, then waits for the thread to end.
    void stop();

    // Takes over a listener opened on context() and starts accepting.
    void adopt(std::unique_ptr<Listener> listener);

    boost::asio::io_context& context() { return m_context; }
    LayerContext& layer() { return m_layer; }

    // On the worker's thread only.
    bool stopping() const { return m_stopping; }
    void track(Session* session) { m_sessions.insert(session); }
    void untrack(Session* session) { m_sessions.erase(session); }

private:
    void closeAll();

    LayerContext& m_layer;
    // Other threads only post to the loop (the scheduler keeps its lock);
    // every socket of the worker is opened, used and closed on its thread,
    // so the loop takes no lock per socket operation.
    boost::asio::io_context m_context{BOOST_ASIO_CONCURRENCY_HINT_UNSAFE_IO};
    boost::asio::executor_work_guard<boost::asio::io_context::executor_type> m_guard;
    std::vector<std::unique_ptr<Listener>> m_listeners;
    std::unordered_set<Session*> m_sessions;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace platform::netfilter
