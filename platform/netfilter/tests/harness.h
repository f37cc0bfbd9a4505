#pragma once

// Starts the layer as the service does (pf_init, nf_init, nf_addRule) with a
// settings file of the test's own, and plays the client over loopback.

#include "platform/netfilter/ProtocolFilters.h"

#include <boost/asio/ip/tcp.hpp>
#include <functional>
#include <string>

namespace nftest {

// A loopback port that nothing listens on at the moment.
uint16_t freePort();

nfapi::NF_RULE ruleFor(uint16_t port);

// Waits (bounded) until the condition holds; the bound only keeps a broken
// layer from hanging the tests.
bool eventually(const std::function<bool()>& condition);

class Harness {
public:
    // settings: more lines for the [setting] section.
    Harness(ProtocolFilters::PFEvents& sink, uint16_t upstreamPort,
            const std::string& settings = "");
    ~Harness();
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    uint16_t port() const { return m_port; }
    const std::string& folder() const { return m_folder; }
    int initResult() const { return m_init; }
    nfapi::NF_STATUS ruleResult() const { return m_rule; }

private:
    std::string m_folder;
    uint16_t m_port;
    int m_init = 0;
    nfapi::NF_STATUS m_rule = nfapi::NF_STATUS_FAIL;
};

class Client {
public:
    explicit Client(uint16_t port);
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    void send(const std::string& bytes);
    void shutdownSend();
    // Everything until the layer closes (bounded by a receive time-out).
    std::string readAll();
    // The raw bytes of the next response; empty when the connection ends first.
    std::string readResponse(bool head = false);
    bool connected() const { return m_connected; }

private:
    bool readMore();

    boost::asio::io_context m_context;
    boost::asio::ip::tcp::socket m_socket;
    std::string m_pending;
    bool m_connected = false;
};

} // namespace nftest
