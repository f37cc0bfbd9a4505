#pragma once

#include "platform/netfilter/nfapi.h"

#include <arpa/inet.h>
#include <cstdint>
#include <cstring>

namespace ostrum::testing {

// Writes an IPv4 socket address in the layer's 28-byte layout.
inline void setIpv4(uint8_t* address, const char* ip, uint16_t port) {
    std::memset(address, 0, nfapi::NF_MAX_ADDRESS_LENGTH);
    const uint16_t family = nfapi::NF_AF_INET;
    const uint16_t netPort = htons(port);
    std::memcpy(address, &family, sizeof family);
    std::memcpy(address + 2, &netPort, sizeof netPort);
    inet_pton(AF_INET, ip, address + 4);
}

inline void setIpv6(uint8_t* address, const char* ip, uint16_t port) {
    std::memset(address, 0, nfapi::NF_MAX_ADDRESS_LENGTH);
    const uint16_t family = nfapi::NF_AF_INET6;
    const uint16_t netPort = htons(port);
    std::memcpy(address, &family, sizeof family);
    std::memcpy(address + 2, &netPort, sizeof netPort);
    inet_pton(AF_INET6, ip, address + 8);
}

// An inbound, filtered IPv4 connection to 192.168.1.2:80.
inline nfapi::TcpConnInfo inboundInfo(const char* clientIp, uint16_t clientPort = 40000) {
    nfapi::TcpConnInfo info{};
    info.filteringFlag = nfapi::NF_FILTER;
    info.direction = nfapi::NF_D_IN;
    info.ipFamily = nfapi::NF_AF_INET;
    setIpv4(info.remoteAddress, clientIp, clientPort);
    setIpv4(info.localAddress, "192.168.1.2", 80);
    return info;
}

inline nfapi::TcpConnInfo inboundInfo6(const char* clientIp, uint16_t clientPort = 40000) {
    nfapi::TcpConnInfo info{};
    info.filteringFlag = nfapi::NF_FILTER;
    info.direction = nfapi::NF_D_IN;
    info.ipFamily = nfapi::NF_AF_INET6;
    setIpv6(info.remoteAddress, clientIp, clientPort);
    setIpv6(info.localAddress, "2001:db8::2", 80);
    return info;
}

} // namespace ostrum::testing
