#pragma once

// A recording stand-in for the network-filter and protocol-filter layers,
// for tests of the service that need no sockets.

#include "platform/netfilter/ProtocolFilters.h"

#include <cstdint>
#include <vector>

namespace fakenet {

struct Calls {
    std::vector<nfapi::ENDPOINT_ID> closed;
    std::vector<nfapi::ENDPOINT_ID> filtered;
    std::vector<nfapi::ENDPOINT_ID> posted;
    std::vector<uint16_t> rulePorts; // host byte order
    int initResult = 1;              // what pf_init answers
    nfapi::NF_STATUS driverResult = nfapi::NF_STATUS_SUCCESS;
    ProtocolFilters::PFEvents* sink = nullptr;
};

// The calls seen since the last reset(); safe to read while no event runs.
Calls& calls();
void reset();

} // namespace fakenet
