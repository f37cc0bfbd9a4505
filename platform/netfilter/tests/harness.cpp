#include "harness.h"

#include <arpa/inet.h>
#include <boost/asio/write.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace nftest {

using boost::asio::ip::tcp;
namespace http = boost::beast::http;

uint16_t freePort() {
    boost::asio::io_context context;
    tcp::acceptor probe(context, tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), 0));
    return probe.local_endpoint().port();
}

nfapi::NF_RULE ruleFor(uint16_t port) {
    nfapi::NF_RULE rule;
    std::memset(&rule, 0, sizeof rule);
    rule.protocol = nfapi::NF_IPPROTO_TCP;
    rule.direction = nfapi::NF_D_IN;
    rule.localPort = htons(port);
    rule.filteringFlag = nfapi::NF_FILTER;
    return rule;
}

bool eventually(const std::function<bool()>& condition) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

Harness::Harness(ProtocolFilters::PFEvents& sink, uint16_t upstreamPort,
                 const std::string& settings)
    : m_port(freePort()) {
    static int serial = 0;
    m_folder = (std::filesystem::temp_directory_path() /
                ("ostrum-nf-" + std::to_string(::getpid()) + "-" + std::to_string(++serial)))
                   .string();
    std::filesystem::create_directories(m_folder);
    std::ofstream(m_folder + "/netfilter.ini") << "[upstream]\n"
                                               << m_port << "=127.0.0.1:" << upstreamPort << "\n"
                                               << "[setting]\nlisten=127.0.0.1\nthreads=2\n"
                                               << settings << "\n";
    const std::wstring wide(m_folder.begin(), m_folder.end());
    m_init = ProtocolFilters::pf_init(&sink, wide.c_str());
    if (m_init != 0 && nfapi::nf_init("ostrum2", ProtocolFilters::pf_getNFEventHandler()) ==
                           nfapi::NF_STATUS_SUCCESS) {
        nfapi::NF_RULE rule = ruleFor(m_port);
        m_rule = nfapi::nf_addRule(&rule, 1);
    }
}

Harness::~Harness() {
    nfapi::nf_free();
    ProtocolFilters::pf_free();
    std::filesystem::remove_all(m_folder);
}

Client::Client(uint16_t port) : m_socket(m_context) {
    boost::system::error_code error;
    m_socket.connect(tcp::endpoint(boost::asio::ip::make_address("127.0.0.1"), port), error);
    m_connected = !error;
    if (m_connected) {
        const timeval limit{20, 0}; // a hung layer fails the test instead of hanging it
        ::setsockopt(m_socket.native_handle(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    }
}

void Client::send(const std::string& bytes) {
    boost::system::error_code error;
    boost::asio::write(m_socket, boost::asio::buffer(bytes), error);
}

void Client::shutdownSend() {
    boost::system::error_code error;
    m_socket.shutdown(tcp::socket::shutdown_send, error);
}

bool Client::readMore() {
    char buffer[16384];
    boost::system::error_code error;
    const size_t size = m_socket.read_some(boost::asio::buffer(buffer), error);
    m_pending.append(buffer, size);
    return !error;
}

std::string Client::readAll() {
    while (readMore()) {
    }
    return std::exchange(m_pending, {});
}

std::string Client::readResponse(bool head) {
    http::response_parser<http::string_body> parser;
    parser.eager(true);
    parser.skip(head);
    parser.body_limit(std::numeric_limits<uint64_t>::max());
    size_t used = 0;
    for (;;) {
        boost::system::error_code error;
        used += parser.put(boost::asio::buffer(m_pending.data() + used, m_pending.size() - used),
                           error);
        if (parser.is_done()) {
            const std::string response = m_pending.substr(0, used);
            m_pending.erase(0, used);
            return response;
        }
        if (error && error != http::error::need_more) {
            return {};
        }
        if (!readMore()) {
            if (!parser.got_some()) {
                return {};
            }
            parser.put_eof(error); // a response that ends with the connection
            if (error || !parser.is_done()) {
                return {};
            }
            return std::exchange(m_pending, {});
        }
    }
}

} // namespace nftest
