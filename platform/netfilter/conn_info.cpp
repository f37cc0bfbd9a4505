#include "platform/netfilter/conn_info.h"

#include <cstring>

namespace platform::netfilter {

using boost::asio::ip::tcp;

tcp::endpoint unmapped(const tcp::endpoint& endpoint) {
    const boost::asio::ip::address address = endpoint.address();
    if (address.is_v6() && address.to_v6().is_v4_mapped()) {
        return {boost::asio::ip::make_address_v4(boost::asio::ip::v4_mapped, address.to_v6()),
                endpoint.port()};
    }
    return endpoint;
}

void storeAddress(const tcp::endpoint& endpoint, uint8_t* address) {
    std::memset(address, 0, nfapi::NF_MAX_ADDRESS_LENGTH);
    const tcp::endpoint plain = unmapped(endpoint);
    const uint16_t family = plain.address().is_v4() ? nfapi::NF_AF_INET : nfapi::NF_AF_INET6;
    std::memcpy(address, &family, sizeof family);
    address[2] = uint8_t(plain.port() >> 8);
    address[3] = uint8_t(plain.port());
    if (plain.address().is_v4()) {
        const auto bytes = plain.address().to_v4().to_bytes();
        std::memcpy(address + 4, bytes.data(), bytes.size());
        return;
    }
    const boost::asio::ip::address_v6 v6 = plain.address().to_v6();
    const auto bytes = v6.to_bytes();
    std::memcpy(address + 8, bytes.data(), bytes.size());
    const uint32_t scope = uint32_t(v6.scope_id());
    std::memcpy(address + 24, &scope, sizeof scope);
}

nfapi::TcpConnInfo connInfo(const tcp::endpoint& local, const tcp::endpoint& remote) {
    nfapi::TcpConnInfo info{};
    info.filteringFlag = nfapi::NF_FILTER;
    info.direction = nfapi::NF_D_IN;
    storeAddress(local, info.localAddress);
    storeAddress(remote, info.remoteAddress);
    std::memcpy(&info.ipFamily, info.remoteAddress, sizeof info.ipFamily);
    return info;
}

} // namespace platform::netfilter
