#pragma once

// The state behind the nfapi and ProtocolFilters calls: the sink and the
// settings from pf_init, the workers from nf_init, the ports of nf_addRule.

#include "platform/netfilter/ProtocolFilters.h"
#include "platform/netfilter/layer_context.h"

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace nfapi {

// What pf_getNFEventHandler gives nf_init: the sink the workers deliver to.
struct NF_EventHandler {
    ProtocolFilters::PFEvents* sink = nullptr;
};

} // namespace nfapi

namespace platform::netfilter {

class Worker;

class Layer {
public:
    static Layer& instance();

    Layer() = default;
    Layer(const Layer&) = delete;
    Layer& operator=(const Layer&) = delete;

    int init(ProtocolFilters::PFEvents* sink, const wchar_t* folder);
    void free();
    nfapi::NF_EventHandler* handler() { return &m_handler; }
    nfapi::NF_STATUS start(const nfapi::NF_EventHandler* handler);
    // Waits for the workers; not to be called from inside an event.
    void stop();
    nfapi::NF_STATUS addRule(const nfapi::NF_RULE& rule);
    void setOperatorLog(OperatorLog log);

    // The sink's calls on one connection, from any thread.
    bool close(uint64_t id);
    bool addFilter(uint64_t id);
    bool post(uint64_t id, const ProtocolFilters::PFObject* object);
    bool filtered(uint64_t id);
    bool known(uint64_t id);

private:
    void stopWorkers();
    template <typename Call> bool dispatch(uint64_t id, Call call);

    std::mutex m_lifecycle;
    // Shared by calls from outside that post onto a worker's loop; the loops
    // are destroyed only under the exclusive lock.
    std::shared_mutex m_loops;
    LayerContext m_context;
    nfapi::NF_EventHandler m_handler;
    OperatorLog m_operatorLog; // handed to the workers at start
    std::vector<std::unique_ptr<Worker>> m_workers;
    std::vector<uint16_t> m_ports;
};

} // namespace platform::netfilter
