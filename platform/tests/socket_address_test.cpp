#include "platform/socket_address.h"

#include "platform/netfilter/nfapi.h"

#include <arpa/inet.h>
#include <cstring>
#include <gtest/gtest.h>

namespace {

std::array<uint8_t, 28> v4(const char* ip, uint16_t port) {
    std::array<uint8_t, 28> a{};
    const uint16_t family = nfapi::NF_AF_INET;
    const uint16_t netPort = htons(port);
    std::memcpy(a.data(), &family, 2);
    std::memcpy(a.data() + 2, &netPort, 2);
    inet_pton(AF_INET, ip, a.data() + 4);
    return a;
}

std::array<uint8_t, 28> v6(const char* ip, uint16_t port, uint32_t scope = 0) {
    std::array<uint8_t, 28> a{};
    const uint16_t family = nfapi::NF_AF_INET6;
    const uint16_t netPort = htons(port);
    std::memcpy(a.data(), &family, 2);
    std::memcpy(a.data() + 2, &netPort, 2);
    inet_pton(AF_INET6, ip, a.data() + 8);
    std::memcpy(a.data() + 24, &scope, 4);
    return a;
}

TEST(SocketAddress, TextOfBothFamilies) {
    EXPECT_EQ(platform::socketAddressText(v4("10.0.0.5", 51000).data(), 28), "10.0.0.5:51000");
    EXPECT_EQ(platform::socketAddressText(v4("10.0.0.5", 0).data(), 28), "10.0.0.5");
    EXPECT_EQ(platform::socketAddressText(v6("::1", 80).data(), 28), "[::1]:80");
    EXPECT_EQ(platform::socketAddressText(v6("fe80::1", 80, 3).data(), 28), "[fe80::1%3]:80");
    EXPECT_EQ(platform::socketAddressText(v6("2001:db8::7", 0).data(), 28), "2001:db8::7");
}

TEST(SocketAddress, ShortOrUnknownAddressesGiveNothing) {
    std::array<uint8_t, 28> unknown{};
    unknown[0] = 99;
    EXPECT_EQ(platform::socketAddressText(unknown.data(), 28), "");
    EXPECT_EQ(platform::socketAddressText(v6("::1", 80).data(), 12), "");
    EXPECT_EQ(platform::socketAddressText(nullptr, 28), "");
    EXPECT_EQ(platform::socketAddressIpv4(v4("192.168.1.2", 80).data(), 28), 0xC0A80102u);
    EXPECT_EQ(platform::socketAddressIpv4(v6("::1", 80).data(), 28), 0u);
}

} // namespace
