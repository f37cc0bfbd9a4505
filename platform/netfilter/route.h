#pragma once

#include <boost/asio/ip/tcp.hpp>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::netfilter {

// A filtered local port and where its web server really listens.
struct Route {
    uint16_t port = 0;
    std::string address; // as configured, for the operator
    std::vector<boost::asio::ip::tcp::endpoint> upstream;
};

} // namespace platform::netfilter
