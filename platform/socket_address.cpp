#include "platform/socket_address.h"

#include "platform/netfilter/nfapi.h"

#include <arpa/inet.h>
#include <cstring>

namespace platform {
namespace {

constexpr size_t kIpv4Length = 8;
constexpr size_t kIpv6Length = 28;

uint16_t familyOf(const uint8_t* address, size_t length) {
    if (address == nullptr || length < 2) {
        return 0;
    }
    uint16_t family = 0;
    std::memcpy(&family, address, sizeof family);
    return family;
}

uint16_t portOf(const uint8_t* address) {
    uint16_t port = 0;
    std::memcpy(&port, address + 2, sizeof port);
    return ntohs(port);
}

} // namespace

std::string socketAddressText(const uint8_t* address, size_t length) {
    const uint16_t family = familyOf(address, length);
    char text[INET6_ADDRSTRLEN] = {};
    if (family == nfapi::NF_AF_INET && length >= kIpv4Length) {
        inet_ntop(AF_INET, address + 4, text, sizeof text);
        const uint16_t port = portOf(address);
        return port == 0 ? std::string(text) : std::string(text) + ":" + std::to_string(port);
    }
    if (family == nfapi::NF_AF_INET6 && length >= kIpv6Length) {
        inet_ntop(AF_INET6, address + 8, text, sizeof text);
        uint32_t scope = 0;
        std::memcpy(&scope, address + 24, sizeof scope);
        std::string host = text;
        if (scope != 0) {
            host += "%" + std::to_string(scope);
        }
        const uint16_t port = portOf(address);
        return port == 0 ? host : "[" + host + "]:" + std::to_string(port);
    }
    return {};
}

uint32_t socketAddressIpv4(const uint8_t* address, size_t length) {
    if (familyOf(address, length) != nfapi::NF_AF_INET || length < kIpv4Length) {
        return 0;
    }
    uint32_t ip = 0;
    std::memcpy(&ip, address + 4, sizeof ip);
    return ntohl(ip);
}

} // namespace platform
