#pragma once

// A tiny web server on a loopback port, one thread a connection, that keeps
// every byte it receives. In HTTP mode it answers each request with
// "<method> <target> <body size>\n"; targets steer it:
//   /close     the answer ends with the connection (no length);
//   /chunked   the answer is chunked;
//   /pieces    the answer comes in parts after pauses, then the close;
//   Upgrade    a request asking for an upgrade gets 101, then an echo.
// It sends "100 Continue" itself when a request expects it and its body has
// not arrived. In echo mode every byte comes straight back.

#include <boost/asio/ip/tcp.hpp>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace nftest {

class TestUpstream {
public:
    enum class Mode { Http, Echo };

    explicit TestUpstream(Mode mode = Mode::Http);
    ~TestUpstream();
    TestUpstream(const TestUpstream&) = delete;
    TestUpstream& operator=(const TestUpstream&) = delete;

    uint16_t port() const { return m_port; }
    // What each connection received so far, in the order they came.
    std::vector<std::string> received() const;
    std::string allReceived() const;
    // Waits (bounded) until that many bytes have arrived in all.
    bool waitForBytes(size_t count) const;

private:
    void acceptLoop();
    void serve(size_t index, std::shared_ptr<boost::asio::ip::tcp::socket> socket);
    void serveHttp(size_t index, boost::asio::ip::tcp::socket& socket);
    void echo(size_t index, boost::asio::ip::tcp::socket& socket, std::string pending);
    bool readMore(size_t index, boost::asio::ip::tcp::socket& socket, std::string& into);

    Mode m_mode;
    boost::asio::io_context m_context;
    boost::asio::ip::tcp::acceptor m_acceptor;
    uint16_t m_port = 0;
    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_received;
    std::vector<std::shared_ptr<boost::asio::ip::tcp::socket>> m_sockets;
    std::vector<std::thread> m_threads;
    std::thread m_acceptThread;
};

} // namespace nftest
