#include "platform/netfilter/response_tracker.h"

#include "platform/netfilter/request_framer.h"

#include <boost/beast/http/error.hpp>
#include <limits>

namespace platform::netfilter {

namespace http = boost::beast::http;

namespace {
// Response heads may carry large cookies; the server is trusted further than clients.
constexpr uint32_t kResponseHeadLimit = 1 << 20;
} // namespace

ResponseTracker::Outcome ResponseTracker::feed(const char* data, size_t size) {
    m_out.clear();
    if (m_raw) {
        emit(data, size);
        return Outcome::None;
    }
    std::string& held = m_held[m_current];
    m_current = 1 - m_current;
    m_held[m_current].clear();
    if (held.empty()) {
        return parse(data, size, 0);
    }
    held.append(data, size);
    return parse(held.data(), held.size(), m_heldParsed);
}

void ResponseTracker::flush() {
    m_out.clear();
    const std::string& held = m_held[m_current];
    emit(held.data(), held.size());
}

// Bytes before pos were taken by the parser already; those from the start of
// an incomplete head on are held back, the rest is relayed.
ResponseTracker::Outcome ResponseTracker::parse(const char* data, size_t size, size_t pos) {
    Outcome outcome = Outcome::None;
    size_t start = 0; // of what is neither relayed nor held yet
    while (pos < size) {
        if (!m_parser) {
            startResponse();
        }
        const bool hadHeader = m_parser->is_header_done();
        if (hadHeader && size - pos < m_waitFor) {
            return hold(data + start, size - start, pos - start) ? outcome : Outcome::Failed;
        }
        boost::beast::error_code ec;
        const size_t taken = m_parser->put(boost::asio::const_buffer(data + pos, size - pos), ec);
        pos += taken;
        if (ec && ec != http::error::need_more) {
            emit(data + start, size - start);
            return Outcome::Failed;
        }
        if (hadHeader) {
            emit(data + start, pos - start);
            start = pos;
        } else if (m_parser->is_header_done()) {
            const Outcome seen = onHeader(data + start, pos - start);
            start = pos;
            if (seen == Outcome::Upgraded || seen == Outcome::Failed) {
                emit(data + pos, size - pos);
                return seen;
            }
            outcome = seen == Outcome::None ? outcome : seen;
        }
        if (ec || taken == 0) {
            m_waitFor = m_parser->is_header_done() ? bodyRetrySize(size - pos) : 0;
            return hold(data + start, size - start, pos - start) ? outcome : Outcome::Failed;
        }
        m_waitFor = 0;
        if (m_parser->is_done()) {
            if (m_parser->status() >= 200 && !m_queue.empty()) {
                m_queue.pop_front();
            }
            m_parser.reset();
        }
    }
    return outcome;
}

bool ResponseTracker::hold(const char* data, size_t size, size_t parsed) {
    if (size > kResponseHeadLimit) {
        emit(data, size);
        return false;
    }
    m_held[m_current].assign(data, size);
    m_heldParsed = parsed;
    return true;
}

ResponseTracker::Outcome ResponseTracker::onHeader(const char* data, size_t size) {
    const int status = m_parser->status();
    const Expectation front = m_queue.empty() ? Expectation{} : m_queue.front();
    if (status == 101) {
        emit(data, size);
        if (!front.upgrade) {
            return Outcome::Failed;
        }
        m_raw = true;
        m_queue.pop_front();
        return Outcome::Upgraded;
    }
    if (status == 100 && front.continueSent) {
        return Outcome::None; // the client already had its 100 from the layer
    }
    emit(data, size);
    return front.upgrade && status >= 200 ? Outcome::UpgradeRefused : Outcome::None;
}

void ResponseTracker::emit(const char* data, size_t size) {
    if (size == 0) {
        return;
    }
    if (!m_out.empty()) {
        boost::asio::const_buffer& last = m_out.back();
        if (static_cast<const char*>(last.data()) + last.size() == data) {
            last = boost::asio::const_buffer(last.data(), last.size() + size);
            return;
        }
    }
    m_out.emplace_back(data, size);
}

void ResponseTracker::startResponse() {
    m_parser.emplace();
    m_parser->header_limit(kResponseHeadLimit);
    m_parser->body_limit(std::numeric_limits<uint64_t>::max()); // none is broken in 1.74
    if (!m_queue.empty() && m_queue.front().head) {
        m_parser->skip(true);
    }
}

} // namespace platform::netfilter
