#pragma once

// The network-filter layer: connection events in, connection operations out.
// The service is written against these names; platform/netfilter holds the
// Linux implementation behind them.

#include <cstdint>

namespace nfapi {

using ENDPOINT_ID = uint64_t;

enum _NF_STATUS : int {
    NF_STATUS_SUCCESS = 0,
    NF_STATUS_FAIL = -1,
    NF_STATUS_INVALID_ENDPOINT_ID = -2,
    NF_STATUS_NOT_INITIALIZED = -3,
    NF_STATUS_IO_ERROR = -4,
};
using NF_STATUS = _NF_STATUS;

// Address family values inside the 28-byte socket addresses below.
constexpr uint16_t NF_AF_INET = 2;
constexpr uint16_t NF_AF_INET6 = 23;
constexpr int NF_MAX_ADDRESS_LENGTH = 28;

constexpr uint8_t NF_D_IN = 1;
constexpr uint32_t NF_FILTER = 2;
constexpr int32_t NF_IPPROTO_TCP = 6;

#pragma pack(push, 1)

// A socket address is stored as: family (u16, host order), port (u16,
// network order), then for IPv4 the address (4 bytes) and for IPv6 the flow
// label (u32), the address (16 bytes) and the scope (u32).
struct TcpConnInfo {
    uint32_t filteringFlag;
    uint32_t processId;
    uint8_t direction;
    uint16_t ipFamily;
    uint8_t localAddress[NF_MAX_ADDRESS_LENGTH];
    uint8_t remoteAddress[NF_MAX_ADDRESS_LENGTH];
};
static_assert(sizeof(TcpConnInfo) == 67);

struct NF_RULE {
    int32_t protocol;
    uint32_t processId;
    uint8_t direction;
    uint16_t localPort; // network byte order
    uint16_t remotePort;
    uint16_t ipFamily;
    uint8_t localIpAddress[16];
    uint8_t localIpAddressMask[16];
    uint8_t remoteIpAddress[16];
    uint8_t remoteIpAddressMask[16];
    uint32_t filteringFlag;
};
static_assert(sizeof(NF_RULE) == 83);

#pragma pack(pop)

struct NF_EventHandler;

NF_STATUS nf_init(const char* driverName, NF_EventHandler* handler);
void nf_free();
NF_STATUS nf_addRule(NF_RULE* rule, int toHead);

NF_STATUS nf_tcpClose(ENDPOINT_ID id);
NF_STATUS nf_tcpPostSend(ENDPOINT_ID id, const char* buf, int len);
NF_STATUS nf_tcpPostReceive(ENDPOINT_ID id, const char* buf, int len);
NF_STATUS nf_tcpSetConnectionState(ENDPOINT_ID id, int suspended);
NF_STATUS nf_tcpDisableFiltering(ENDPOINT_ID id);

NF_STATUS nf_udpPostSend(ENDPOINT_ID id, const unsigned char* remoteAddress, const char* buf,
                         int len, void* options);
NF_STATUS nf_udpPostReceive(ENDPOINT_ID id, const unsigned char* remoteAddress, const char* buf,
                            int len, void* options);
NF_STATUS nf_udpSetConnectionState(ENDPOINT_ID id, int suspended);

} // namespace nfapi
