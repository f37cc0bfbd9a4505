#include "platform/socket_address.h"
#include "platform/netfilter/conn_info.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

using boost::asio::ip::make_address;
using boost::asio::ip::tcp;

std::string textOf(const tcp::endpoint& endpoint) {
    uint8_t address[nfapi::NF_MAX_ADDRESS_LENGTH];
    platform::netfilter::storeAddress(endpoint, address);
    return platform::socketAddressText(address, nfapi::NF_MAX_ADDRESS_LENGTH);
}

TEST(ConnInfo, WritesAddressAndPortAsTheServiceSplitsThem) {
    const struct {
        const char* address;
        uint16_t port;
        const char* text;
    } cases[] = {
        {"127.0.0.1", 8080, "127.0.0.1:8080"},
        {"255.255.255.255", 65535, "255.255.255.255:65535"},
        {"::1", 443, "[::1]:443"},
        {"2001:db8::8a2e:370:7334", 80, "[2001:db8::8a2e:370:7334]:80"},
        {"::ffff:10.1.2.3", 80, "10.1.2.3:80"}, // a dual-stack listener's IPv4 client
        {"10.0.0.1", 0, "10.0.0.1"},
        {"::1", 0, "::1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textOf({make_address(c.address), c.port}), c.text) << c.address << " " << c.port;
    }
}

TEST(ConnInfo, ShowsTheScopeOfALinkLocalAddress) {
    const auto v6 = make_address("fe80::1").to_v6();
    const boost::asio::ip::address_v6 scoped(v6.to_bytes(), 3);
    EXPECT_EQ(textOf({scoped, 80}), "[fe80::1%3]:80");
}

TEST(ConnInfo, UnknownFamilyGivesNothing) {
    uint8_t address[nfapi::NF_MAX_ADDRESS_LENGTH] = {};
    EXPECT_EQ(platform::socketAddressText(address, nfapi::NF_MAX_ADDRESS_LENGTH), "");
    address[0] = 99;
    EXPECT_EQ(platform::socketAddressText(address, nfapi::NF_MAX_ADDRESS_LENGTH), "");
}

TEST(ConnInfo, DescribesAnInboundFilteredConnection) {
    const nfapi::TcpConnInfo info = platform::netfilter::connInfo(
        {make_address("::1"), 80}, {make_address("::ffff:192.168.1.9"), 50000});
    const uint32_t flag = info.filteringFlag; // packed fields: no references to them
    const uint16_t clientFamily = info.ipFamily;
    EXPECT_EQ(flag, nfapi::NF_FILTER);
    EXPECT_EQ(info.direction, nfapi::NF_D_IN);
    EXPECT_EQ(clientFamily, nfapi::NF_AF_INET);
    EXPECT_EQ(platform::socketAddressText(info.localAddress, nfapi::NF_MAX_ADDRESS_LENGTH), "[::1]:80");
    EXPECT_EQ(platform::socketAddressText(info.remoteAddress, nfapi::NF_MAX_ADDRESS_LENGTH), "192.168.1.9:50000");
    uint16_t family = 0;
    std::memcpy(&family, info.localAddress, sizeof family);
    EXPECT_EQ(family, nfapi::NF_AF_INET6);
    EXPECT_EQ(info.remoteAddress[2], 50000 >> 8); // port in network order
    EXPECT_EQ(info.remoteAddress[3], 50000 & 0xFF);
}

} // namespace
