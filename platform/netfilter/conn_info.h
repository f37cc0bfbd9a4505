#pragma once

#include "platform/netfilter/nfapi.h"

#include <boost/asio/ip/tcp.hpp>

namespace platform::netfilter {

// The endpoint with an IPv4-mapped IPv6 address turned into plain IPv4, so
// that clients of a dual-stack listener are reported as what they are.
boost::asio::ip::tcp::endpoint unmapped(const boost::asio::ip::tcp::endpoint& endpoint);

// Fills a 28-byte socket address in the layer's layout (see nfapi.h).
void storeAddress(const boost::asio::ip::tcp::endpoint& endpoint, uint8_t* address);

// The description of an accepted inbound connection: filtered, inbound.
nfapi::TcpConnInfo connInfo(const boost::asio::ip::tcp::endpoint& local,
                            const boost::asio::ip::tcp::endpoint& remote);

} // namespace platform::netfilter
