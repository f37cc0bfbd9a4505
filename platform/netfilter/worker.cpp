#include "platform/netfilter/worker.h"

#include "platform/netfilter/listener.h"
#include "platform/netfilter/session.h"

#include <boost/asio/post.hpp>

namespace platform::netfilter {

Worker::Worker(LayerContext& layer)
    : m_layer(layer), m_guard(boost::asio::make_work_guard(m_context)) {}

Worker::~Worker() {
    stop();
}

void Worker::start() {
    m_thread = std::thread([this] { m_context.run(); });
}

void Worker::stop() {
    if (!m_thread.joinable()) {
        return;
    }
    boost::asio::post(m_context, [this] { closeAll(); });
    m_guard.reset();
    m_thread.join();
}

void Worker::adopt(std::unique_ptr<Listener> listener) {
    boost::asio::post(m_context, [this, listener = std::move(listener)]() mutable {
        if (m_stopping) {
            return;
        }
        listener->start();
        m_listeners.push_back(std::move(listener));
    });
}

void Worker::closeAll() {
    m_stopping = true;
    for (const auto& listener : m_listeners) {
        listener->close();
    }
    const std::vector<Session*> open(m_sessions.begin(), m_sessions.end());
    for (Session* session : open) {
        session->finish();
    }
}

} // namespace platform::netfilter
