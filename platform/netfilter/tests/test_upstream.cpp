#include "test_upstream.h"

#include <boost/asio/write.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <limits>
#include <numeric>
#include <string_view>
#include <sys/socket.h>
#include <thread>

namespace nftest {

using boost::asio::ip::tcp;
namespace http = boost::beast::http;

namespace {

std::string answerTo(const http::request<http::string_body>& request, bool keepAlive) {
    const std::string text = std::string(request.method_string()) + " " +
                             std::string(request.target()) + " " +
                             std::to_string(request.body().size()) + "\n";
    if (request.target() == "/close") {
        return "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + text;
    }
    const std::string connection = keepAlive ? "" : "Connection: close\r\n";
    if (request.target() == "/chunked") {
        char size[16];
        std::snprintf(size, sizeof size, "%zx", text.size());
        return "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + connection + "\r\n" + size +
               "\r\n" + text + "\r\n0\r\n\r\n";
    }
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(text.size()) + "\r\n" +
           connection + "\r\n" + (request.method() == http::verb::head ? "" : text);
}

// The answer ends with the close and comes in parts, each after a pause, so
// that each part arrives on its own.
void writeInPieces(tcp::socket& socket) {
    for (const std::string_view part :
         {"HTTP/1.1 200 OK\r\nConn", "ection: close\r\n\r\nfirst ", "second\n"}) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        boost::system::error_code error;
        boost::asio::write(socket, boost::asio::buffer(part), error);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

} // namespace

TestUpstream::TestUpstream(Mode mode) : m_mode(mode), m_acceptor(m_context) {
    const tcp::endpoint at(boost::asio::ip::make_address("127.0.0.1"), 0);
    m_acceptor.open(at.protocol());
    m_acceptor.set_option(tcp::acceptor::reuse_address(true));
    m_acceptor.bind(at);
    m_acceptor.listen();
    m_port = m_acceptor.local_endpoint().port();
    m_acceptThread = std::thread([this] { acceptLoop(); });
}

TestUpstream::~TestUpstream() {
    ::shutdown(m_acceptor.native_handle(), SHUT_RDWR); // ends the blocking accept
    m_acceptThread.join();
    {
        std::lock_guard guard(m_lock);
        for (const auto& socket : m_sockets) {
            ::shutdown(socket->native_handle(), SHUT_RDWR);
        }
    }
    for (std::thread& thread : m_threads) {
        thread.join();
    }
}

std::vector<std::string> TestUpstream::received() const {
    std::lock_guard guard(m_lock);
    return m_received;
}

std::string TestUpstream::allReceived() const {
    const std::vector<std::string> all = received();
    return std::accumulate(all.begin(), all.end(), std::string());
}

bool TestUpstream::waitForBytes(size_t count) const {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::seconds(20), [&] {
        size_t total = 0;
        for (const std::string& bytes : m_received) {
            total += bytes.size();
        }
        return total >= count;
    });
}

void TestUpstream::acceptLoop() {
    for (;;) {
        auto socket = std::make_shared<tcp::socket>(m_context);
        boost::system::error_code error;
        m_acceptor.accept(*socket, error);
        if (error) {
            return;
        }
        size_t index = 0;
        {
            std::lock_guard guard(m_lock);
            index = m_received.size();
            m_received.emplace_back();
            m_sockets.push_back(socket);
        }
        m_threads.emplace_back([this, index, socket] { serve(index, socket); });
    }
}

void TestUpstream::serve(size_t index, std::shared_ptr<tcp::socket> socket) {
    if (m_mode == Mode::Echo) {
        echo(index, *socket, {});
    } else {
        serveHttp(index, *socket);
    }
    boost::system::error_code ignored;
    socket->shutdown(tcp::socket::shutdown_both, ignored);
}

bool TestUpstream::readMore(size_t index, tcp::socket& socket, std::string& into) {
    char buffer[16384];
    boost::system::error_code error;
    const size_t size = socket.read_some(boost::asio::buffer(buffer), error);
    if (error) {
        return false;
    }
    into.append(buffer, size);
    std::lock_guard guard(m_lock);
    m_received[index].append(buffer, size);
    m_changed.notify_all();
    return true;
}

void TestUpstream::serveHttp(size_t index, tcp::socket& socket) {
    std::string pending;
    for (;;) {
        http::request_parser<http::string_body> parser;
        parser.eager(true);
        parser.header_limit(std::numeric_limits<uint32_t>::max());
        parser.body_limit(std::numeric_limits<uint64_t>::max());
        bool continued = false;
        size_t used = 0;
        while (!parser.is_done()) {
            boost::system::error_code error;
            used += parser.put(boost::asio::buffer(pending.data() + used, pending.size() - used),
                               error);
            if (error && error != http::error::need_more) {
                return;
            }
            if (parser.is_done()) {
                break;
            }
            if (parser.is_header_done() && !continued && parser.get()[http::field::expect] != "") {
                continued = true;
                boost::asio::write(socket, boost::asio::buffer("HTTP/1.1 100 Continue\r\n\r\n", 25),
                                   error);
            }
            if (!readMore(index, socket, pending)) {
                return;
            }
        }
        pending.erase(0, used);
        boost::system::error_code error;
        if (parser.upgrade()) {
            const std::string switched =
                "HTTP/1.1 101 Switching Protocols\r\nUpgrade: test\r\nConnection: Upgrade\r\n\r\n";
            boost::asio::write(socket, boost::asio::buffer(switched), error);
            echo(index, socket, pending);
            return;
        }
        if (parser.get().target() == "/pieces") {
            writeInPieces(socket);
            return;
        }
        const bool keepAlive = parser.keep_alive() && parser.get().target() != "/close";
        boost::asio::write(socket, boost::asio::buffer(answerTo(parser.get(), keepAlive)), error);
        if (error || !keepAlive) {
            return;
        }
    }
}

void TestUpstream::echo(size_t index, tcp::socket& socket, std::string pending) {
    boost::system::error_code error;
    do {
        boost::asio::write(socket, boost::asio::buffer(pending), error);
        pending.clear();
    } while (!error && readMore(index, socket, pending));
}

} // namespace nftest
