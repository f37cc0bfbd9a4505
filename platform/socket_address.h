#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

// The text of a socket address in the interception layer's 28-byte layout
// (family u16 host order, port u16 network order, then the address):
// "1.2.3.4:80", "[::1]:80"; without ":port" when the port is 0, and an IPv6
// address then without brackets. Empty for an unknown family.
std::string socketAddressText(const uint8_t* address, size_t length);

// The IPv4 address of such a socket address in host byte order; 0 for IPv6.
uint32_t socketAddressIpv4(const uint8_t* address, size_t length);

} // namespace platform
