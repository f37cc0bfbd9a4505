#pragma once

// Follows the framing of the responses a web server sends on one connection,
// so that the layer knows when each forwarded request has its answer, when a
// connection switches protocols, and which interim "100 Continue" the client
// has already had from the layer. Bytes of a response head that is not yet
// complete are held back until it is.

#include <boost/asio/buffer.hpp>
#include <boost/beast/http/basic_parser.hpp>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace platform::netfilter {

class ResponseTracker {
public:
    struct Expectation {
        bool head = false;         // a HEAD request: no body follows
        bool upgrade = false;      // the request asked to switch protocols
        bool continueSent = false; // the layer answered its Expect itself
    };

    enum class Outcome {
        None,
        Upgraded,       // a 101 ended the framing: the rest is a tunnel
        UpgradeRefused, // an upgrade request got a final answer other than 101
        Failed,         // the server's bytes are not HTTP
    };

    // One per request passed on, in order, before its first byte is sent.
    void expect(const Expectation& expectation) { m_queue.push_back(expectation); }
    size_t outstanding() const { return m_queue.size(); }
    // From now on every byte is relayed as it comes, untracked.
    void passThrough() { m_raw = true; }

    // Takes the next bytes from the server; fills buffers() with what is to
    // be relayed now (views on data and on bytes held from earlier calls,
    // valid until the next call).
    Outcome feed(const char* data, size_t size);
    // Everything still held back (at the server's end of stream).
    void flush();
    const std::vector<boost::asio::const_buffer>& buffers() const { return m_out; }

private:
    class Parser final : public boost::beast::http::basic_parser<false> {
    public:
        Parser() : m_status(0) {}
        int status() const { return m_status; }

    private:
        void on_request_impl(boost::beast::http::verb, std::string_view, std::string_view, int,
                             boost::beast::error_code&) override {}
        void on_response_impl(int code, std::string_view, int, boost::beast::error_code&) override {
            m_status = code;
        }
        void on_field_impl(boost::beast::http::field, std::string_view, std::string_view,
                           boost::beast::error_code&) override {}
        void on_header_impl(boost::beast::error_code&) override {}
        void on_body_init_impl(const boost::optional<uint64_t>&,
                               boost::beast::error_code&) override {}
        size_t on_body_impl(std::string_view body, boost::beast::error_code&) override {
            return body.size();
        }
        void on_chunk_header_impl(uint64_t, std::string_view, boost::beast::error_code&) override {}
        size_t on_chunk_body_impl(uint64_t, std::string_view body,
                                  boost::beast::error_code&) override {
            return body.size();
        }
        void on_finish_impl(boost::beast::error_code&) override {}

        int m_status;
    };

    Outcome parse(const char* data, size_t size, size_t pos);
    bool hold(const char* data, size_t size, size_t parsed);
    Outcome onHeader(const char* data, size_t size);
    void emit(const char* data, size_t size);
    void startResponse();

    std::deque<Expectation> m_queue;
    std::optional<Parser> m_parser;
    bool m_raw = false;
    std::string m_held[2]; // bytes held back; the one in use alternates
    int m_current = 0;
    size_t m_heldParsed = 0; // of the held bytes, taken by the parser already
    size_t m_waitFor = 0;    // bytes the body parser needs before it is called again
    std::vector<boost::asio::const_buffer> m_out;
};

} // namespace platform::netfilter
