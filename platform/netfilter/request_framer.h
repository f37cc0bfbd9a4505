#pragma once

// Frames the requests of one client connection. The caller keeps the bytes
// as received and presents them from the first byte the framer has not
// consumed yet; the framer tells where the request line, the header block
// and the body are, and keeps the de-chunked body when asked to.

#include <boost/beast/http/basic_parser.hpp>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::netfilter {

// A body parser that asked for more is given its bytes again only once more
// have come, and at least five: the parser of Boost 1.74 asserts that much
// when it comes back to a last chunk whose trailer was incomplete.
inline size_t bodyRetrySize(size_t pending) {
    return pending + 1 > 5 ? pending + 1 : 5;
}

// Chunk extensions carry nothing the filter reads, yet each of their bytes
// is held with the request: a chunk line (or the trailer) may take this much.
inline constexpr size_t kChunkLineLimit = 4096;

class RequestFramer {
public:
    enum class Verdict { NeedMore, Complete, BadRequest, HeaderTooLarge };

    explicit RequestFramer(uint32_t headerLimit);

    // How many CR and LF bytes lead the bytes: web servers skip them before
    // a request line, so they are dropped, not framed.
    static size_t lineEndsBefore(std::string_view bytes);
    // A TLS record (an https client) is the only first byte of a connection
    // that is not framed as HTTP.
    static bool opensTls(std::string_view bytes) { return !bytes.empty() && bytes[0] == 0x16; }

    // Begins the next request; a chunked body is kept when keepBody is set.
    void reset();
    void keepBody(bool keep) { m_keepBody = keep; }

    // Parses what follows the consumed bytes; adds what it took to consumed.
    Verdict parse(const char* data, size_t size, size_t& consumed);

    bool headerDone() const { return m_headSize != 0; }
    // Both valid once the header is done, counted from the request's start.
    size_t lineSize() const { return m_lineSize; }
    size_t headSize() const { return m_headSize; }
    bool chunked() const { return m_chunked; }
    // The body so far with chunked coding removed (when kept).
    std::string_view chunkedBody() const { return m_body; }
    bool expectsContinue() const { return m_expectContinue; }
    bool isHead() const { return m_head; }
    bool upgrade() const { return m_upgrade; }

private:
    class Parser;
    friend class Parser;

    Verdict step(const char* data, size_t size, size_t& consumed);
    bool badFirstLine(const char* data, size_t size);
    bool hasBareLineFeed(const char* data, size_t size);
    void onField(boost::beast::http::field name, std::string_view value,
                 boost::beast::error_code& ec);
    void onHeader(boost::beast::error_code& ec);

    class Parser final : public boost::beast::http::basic_parser<true> {
    public:
        explicit Parser(RequestFramer& framer) : m_framer(framer) {}

    private:
        void on_request_impl(boost::beast::http::verb method, std::string_view name,
                             std::string_view target, int version,
                             boost::beast::error_code&) override;
        void on_response_impl(int, std::string_view, int, boost::beast::error_code&) override {}
        void on_field_impl(boost::beast::http::field name, std::string_view, std::string_view value,
                           boost::beast::error_code& ec) override {
            m_framer.onField(name, value, ec);
        }
        void on_header_impl(boost::beast::error_code& ec) override { m_framer.onHeader(ec); }
        void on_body_init_impl(const boost::optional<uint64_t>&,
                               boost::beast::error_code&) override {}
        size_t on_body_impl(std::string_view body, boost::beast::error_code&) override {
            return body.size();
        }
        void on_chunk_header_impl(uint64_t, std::string_view extensions,
                                  boost::beast::error_code& ec) override;
        size_t on_chunk_body_impl(uint64_t, std::string_view body,
                                  boost::beast::error_code&) override;
        void on_finish_impl(boost::beast::error_code&) override {}

        RequestFramer& m_framer;
    };

    uint32_t m_headerLimit;
    std::optional<Parser> m_parser;
    bool m_keepBody = true;
    size_t m_lineSize = 0;
    size_t m_headSize = 0;
    size_t m_taken = 0;       // of this request, by the parser
    size_t m_waitFor = 0;     // bytes the body parser needs before it is called again
    size_t m_scanned = 0;     // of the bytes not yet taken, for bare line feeds
    size_t m_lineScanned = 0; // of the first line, while none of it is taken
    bool m_lineChecked = false;
    bool m_lastWasCr = false; // the last byte taken
    std::string_view m_input; // what the parser is given now
    std::string m_body;
    bool m_chunked = false;
    bool m_expectContinue = false;
    bool m_head = false;
    bool m_upgrade = false;
    bool m_http11 = false;
    bool m_lengthSeen = false;
    bool m_hostSeen = false;
    bool m_codingSeen = false;
    bool m_lastCodingChunked = false;
};

} // namespace platform::netfilter
