#pragma once

// A recording stand-in for the network-filter and protocol-filter layers,
// for tests of the service that need no sockets.

#include "platform/netfilter/ProtocolFilters.h"
#include "platform/netfilter/operator_log.h"

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fakenet {

// The arguments of one pf_addFilter call.
struct AddedFilter {
    nfapi::ENDPOINT_ID id = 0;
    ProtocolFilters::PF_FilterType type = ProtocolFilters::FT_NONE;
    unsigned long flags = 0;
    ProtocolFilters::PF_OpTarget target = ProtocolFilters::OT_NEXT;
    ProtocolFilters::PF_FilterType typeBase = ProtocolFilters::FT_NONE;
};

struct Calls {
    std::vector<nfapi::ENDPOINT_ID> closed;
    std::vector<nfapi::ENDPOINT_ID> filtered;
    std::vector<AddedFilter> filterCalls;
    std::vector<nfapi::ENDPOINT_ID> posted;
    std::vector<nfapi::ENDPOINT_ID> filteringDisabled;
    std::vector<std::pair<nfapi::ENDPOINT_ID, std::string>> sent;     // nf_tcpPostSend
    std::vector<std::pair<nfapi::ENDPOINT_ID, std::string>> received; // nf_tcpPostReceive
    std::vector<uint16_t> rulePorts;                                  // host byte order
    std::vector<nfapi::NF_RULE> rules;
    // "pf_init", "nf_init", "nf_free", "pf_free" in call order.
    std::vector<std::string> lifecycle;
    std::wstring dataFolder; // of the last pf_init
    std::string driverName;  // of the last nf_init
    int initResult = 1;      // what pf_init answers
    nfapi::NF_STATUS driverResult = nfapi::NF_STATUS_SUCCESS;
    // What nf_addRule answers for a port (host byte order); success otherwise.
    std::map<uint16_t, nfapi::NF_STATUS> ruleResults;
    int filterCount = 0; // what pf_getFilterCount answers
    ProtocolFilters::PFEvents* sink = nullptr;
    platform::netfilter::OperatorLog operatorLog; // of the last setOperatorLog
};

// The calls seen since the last reset(); safe to read while no event runs.
Calls& calls();
void reset();

} // namespace fakenet
