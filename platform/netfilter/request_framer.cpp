#include "platform/netfilter/request_framer.h"

#include <boost/beast/core/string.hpp>
#include <boost/beast/http/error.hpp>
#include <cstring>
#include <limits>

namespace platform::netfilter {

namespace http = boost::beast::http;
using boost::beast::error_code;

namespace {

bool isTokenChar(unsigned char c) {
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')) {
        return true;
    }
    return c != 0 && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

RequestFramer::RequestFramer(uint32_t headerLimit) : m_headerLimit(headerLimit) {
    reset();
}

RequestFramer::Start RequestFramer::classify(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == ' ') {
            return i > 0 ? Start::Http : Start::NotHttp;
        }
        if (!isTokenChar(static_cast<unsigned char>(bytes[i]))) {
            return Start::NotHttp;
        }
    }
    return Start::Unknown;
}

void RequestFramer::reset() {
    m_parser.emplace(*this);
    m_parser->header_limit(m_headerLimit);
    m_parser->body_limit(std::numeric_limits<uint64_t>::max()); // none is broken in 1.74
    m_lineSize = 0;
    m_headSize = 0;
    m_taken = 0;
    m_waitFor = 0;
    m_scanned = 0;
    m_lastWasCr = false;
    m_body.clear();
    m_chunked = false;
    m_expectContinue = false;
    m_head = false;
    m_upgrade = false;
    m_http11 = false;
    m_lengthSeen = false;
    m_codingSeen = false;
    m_lastCodingChunked = false;
}

RequestFramer::Verdict RequestFramer::parse(const char* data, size_t size, size_t& consumed) {
    size_t used = 0;
    const Verdict verdict = step(data, size, used);
    consumed += used;
    // A chunk header that never ends must not grow the held bytes for ever.
    if (verdict == Verdict::NeedMore && headerDone() && size - used > m_headerLimit) {
        return Verdict::BadRequest;
    }
    return verdict;
}

// The parser waits for CR LF CR LF before it looks at a header again, so a
// header with bare line feeds would only end at the limit when it comes in
// parts; refuse it as soon as it shows, as a whole one is. Only bytes of an
// incomplete header are scanned, each once.
bool RequestFramer::hasBareLineFeed(const char* data, size_t size) {
    for (; m_scanned < size; ++m_scanned) {
        if (data[m_scanned] == '\n' &&
            (m_scanned == 0 ? !m_lastWasCr : data[m_scanned - 1] != '\r')) {
            return true;
        }
    }
    return false;
}

RequestFramer::Verdict RequestFramer::step(const char* data, size_t size, size_t& used) {
    while (!m_parser->is_done()) {
        if (used == size || size - used < m_waitFor) {
            return Verdict::NeedMore;
        }
        const bool hadHeader = headerDone();
        error_code ec;
        m_input = std::string_view(data + used, size - used);
        const size_t taken =
            m_parser->put(boost::asio::const_buffer(m_input.data(), m_input.size()), ec);
        used += taken;
        m_taken += taken;
        if (!hadHeader && taken > 0) {
            // The request line may be taken before the fields are complete.
            m_lastWasCr = data[used - 1] == '\r';
            m_scanned = m_scanned > taken ? m_scanned - taken : 0;
        }
        if (ec == http::error::need_more) {
            m_waitFor = headerDone() ? bodyRetrySize(size - used) : 0;
            const bool bare = !headerDone() && hasBareLineFeed(data + used, size - used);
            return bare ? Verdict::BadRequest : Verdict::NeedMore;
        }
        m_waitFor = 0;
        if (ec) {
            return ec == http::error::header_limit ? Verdict::HeaderTooLarge : Verdict::BadRequest;
        }
        if (!hadHeader && m_parser->is_header_done()) {
            m_headSize = m_taken;
        }
    }
    return Verdict::Complete;
}

void RequestFramer::onField(http::field name, std::string_view value, error_code& ec) {
    // A folded value is handed over unfolded, from outside the input. It
    // would go on folded, and servers unfold differently: refuse it.
    if (!value.empty() && (value.data() < m_input.data() ||
                           value.data() + value.size() > m_input.data() + m_input.size())) {
        ec = http::error::bad_obs_fold;
        return;
    }
    if (name == http::field::content_length) {
        // A second length, even an equal one, is read differently by some servers.
        if (m_lengthSeen || value.find(',') != std::string_view::npos) {
            ec = http::error::bad_content_length;
        }
        m_lengthSeen = true;
    } else if (name == http::field::transfer_encoding) {
        m_codingSeen = true;
        while (!value.empty()) {
            const size_t comma = value.find(',');
            const std::string_view element = trimmed(value.substr(0, comma));
            value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
            if (element.empty()) {
                continue;
            }
            if (m_lastCodingChunked) {
                ec = http::error::bad_transfer_encoding; // chunked must come last, once
                return;
            }
            m_lastCodingChunked =
                boost::beast::iequals(trimmed(element.substr(0, element.find(';'))), "chunked");
        }
    } else if (name == http::field::expect) {
        m_expectContinue = boost::beast::iequals(trimmed(value), "100-continue");
    }
}

void RequestFramer::onHeader(error_code& ec) {
    if (m_codingSeen && !m_lastCodingChunked) {
        ec = http::error::bad_transfer_encoding;
        return;
    }
    m_chunked = m_parser->chunked();
    m_upgrade = m_parser->upgrade();
    m_expectContinue = m_expectContinue && m_http11;
}

void RequestFramer::Parser::on_request_impl(http::verb method, std::string_view name,
                                            std::string_view target, int version, error_code&) {
    // Both views point into the request line: method, blank, target, " HTTP/x.y" CR LF.
    m_framer.m_lineSize = size_t(target.data() + target.size() - name.data()) + 11;
    m_framer.m_head = method == http::verb::head;
    m_framer.m_http11 = version >= 11;
}

size_t RequestFramer::Parser::on_chunk_body_impl(uint64_t, std::string_view body, error_code&) {
    if (m_framer.m_keepBody) {
        m_framer.m_body.append(body);
    }
    return body.size();
}

} // namespace platform::netfilter
