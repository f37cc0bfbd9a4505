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

bool isTargetChar(unsigned char c) {
    return c > ' ' && c != 0x7F;
}

size_t spanOf(std::string_view text, bool (*accepts)(unsigned char)) {
    size_t at = 0;
    while (at < text.size() && accepts(static_cast<unsigned char>(text[at]))) {
        ++at;
    }
    return at;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// method SP target SP "HTTP/" DIGIT "." DIGIT CR LF, and nothing else.
bool isRequestLine(std::string_view line) {
    const size_t method = spanOf(line, isTokenChar);
    if (method == 0 || method == line.size() || line[method] != ' ') {
        return false;
    }
    line.remove_prefix(method + 1);
    const size_t target = spanOf(line, isTargetChar);
    if (target == 0 || target == line.size() || line[target] != ' ') {
        return false;
    }
    const std::string_view version = line.substr(target + 1);
    return version.size() == 10 && version.substr(0, 5) == "HTTP/" && isDigit(version[5]) &&
           version[6] == '.' && isDigit(version[7]) && version.substr(8) == "\r\n";
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

size_t RequestFramer::lineEndsBefore(std::string_view bytes) {
    const size_t first = bytes.find_first_not_of("\r\n");
    return first == std::string_view::npos ? bytes.size() : first;
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
    m_lineScanned = 0;
    m_lineChecked = false;
    m_lastWasCr = false;
    m_body.clear();
    m_chunked = false;
    m_expectContinue = false;
    m_head = false;
    m_upgrade = false;
    m_http11 = false;
    m_lengthSeen = false;
    m_hostSeen = false;
    m_codingSeen = false;
    m_lastCodingChunked = false;
}

RequestFramer::Verdict RequestFramer::parse(const char* data, size_t size, size_t& consumed) {
    size_t used = 0;
    const Verdict verdict = step(data, size, used);
    consumed += used;
    // A chunk line or trailer that never ends must not grow the held bytes.
    if (verdict == Verdict::NeedMore && headerDone() && size - used > kChunkLineLimit) {
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

// The parser looks at a first line that came in parts only once the whole
// header is there; a line that cannot start a request is refused as soon as
// it is complete. Its bytes are scanned once.
bool RequestFramer::badFirstLine(const char* data, size_t size) {
    if (m_lineChecked || m_taken != 0) {
        return false;
    }
    const void* end = std::memchr(data + m_lineScanned, '\n', size - m_lineScanned);
    if (end == nullptr) {
        m_lineScanned = size;
        return false;
    }
    m_lineChecked = true;
    return !isRequestLine({data, size_t(static_cast<const char*>(end) - data) + 1});
}

RequestFramer::Verdict RequestFramer::step(const char* data, size_t size, size_t& used) {
    if (badFirstLine(data, size)) {
        return Verdict::BadRequest;
    }
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
    } else if (name == http::field::host) {
        // Servers differ in which of two hosts they take; HTTP/1.1 forbids two.
        if (m_hostSeen) {
            ec = http::error::bad_value;
        }
        m_hostSeen = true;
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

void RequestFramer::Parser::on_chunk_header_impl(uint64_t, std::string_view extensions,
                                                 error_code& ec) {
    if (extensions.size() > kChunkLineLimit) {
        ec = http::error::bad_chunk_extension;
    }
}

size_t RequestFramer::Parser::on_chunk_body_impl(uint64_t, std::string_view body, error_code&) {
    if (m_framer.m_keepBody) {
        m_framer.m_body.append(body);
    }
    return body.size();
}

} // namespace platform::netfilter
