#pragma once

#include "platform/netfilter/ProtocolFilters.h"
#include "platform/netfilter/connection_table.h"
#include "platform/netfilter/operator_log.h"
#include "platform/netfilter/settings.h"

#include <atomic>
#include <cstdint>

namespace platform::netfilter {

// What every worker and connection of the layer shares. The sink, the
// operator's log and the settings only change while no worker runs.
struct LayerContext {
    ProtocolFilters::PFEvents* sink = nullptr;
    OperatorLog operatorLog;
    ReportGate unreachable; // by web server address
    Settings settings;
    ConnectionTable table;
    std::atomic<uint64_t> nextId{1};
};

} // namespace platform::netfilter
