#include "platform/netfilter/fake/fake_netfilter.h"

#include <arpa/inet.h>
#include <mutex>

namespace fakenet {
namespace {
std::mutex g_lock;
Calls g_calls;
} // namespace

Calls& calls() { return g_calls; }

void reset() {
    std::lock_guard guard(g_lock);
    g_calls = Calls{};
}

} // namespace fakenet

namespace nfapi {

using fakenet::g_calls;
using fakenet::g_lock;

NF_STATUS nf_init(const char*, NF_EventHandler*) { return g_calls.driverResult; }
void nf_free() {}

NF_STATUS nf_addRule(NF_RULE* rule, int) {
    std::lock_guard guard(g_lock);
    g_calls.rulePorts.push_back(ntohs(rule->localPort));
    return NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpClose(ENDPOINT_ID id) {
    std::lock_guard guard(g_lock);
    g_calls.closed.push_back(id);
    return NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpPostSend(ENDPOINT_ID, const char*, int) { return NF_STATUS_SUCCESS; }
NF_STATUS nf_tcpPostReceive(ENDPOINT_ID, const char*, int) { return NF_STATUS_SUCCESS; }
NF_STATUS nf_tcpSetConnectionState(ENDPOINT_ID, int) { return NF_STATUS_SUCCESS; }
NF_STATUS nf_tcpDisableFiltering(ENDPOINT_ID) { return NF_STATUS_SUCCESS; }
NF_STATUS nf_udpPostSend(ENDPOINT_ID, const unsigned char*, const char*, int, void*) {
    return NF_STATUS_SUCCESS;
}
NF_STATUS nf_udpPostReceive(ENDPOINT_ID, const unsigned char*, const char*, int, void*) {
    return NF_STATUS_SUCCESS;
}
NF_STATUS nf_udpSetConnectionState(ENDPOINT_ID, int) { return NF_STATUS_SUCCESS; }

} // namespace nfapi

namespace ProtocolFilters {

using fakenet::g_calls;
using fakenet::g_lock;

int pf_init(PFEvents* sink, const wchar_t*) {
    std::lock_guard guard(g_lock);
    g_calls.sink = sink;
    return g_calls.initResult;
}

void pf_free() {
    std::lock_guard guard(g_lock);
    g_calls.sink = nullptr;
}

nfapi::NF_EventHandler* pf_getNFEventHandler() { return nullptr; }

bool pf_addFilter(ENDPOINT_ID id, PF_FilterType, unsigned long, PF_OpTarget, PF_FilterType) {
    std::lock_guard guard(g_lock);
    g_calls.filtered.push_back(id);
    return true;
}

bool pf_postObject(ENDPOINT_ID id, PFObject*) {
    std::lock_guard guard(g_lock);
    g_calls.posted.push_back(id);
    return true;
}

int pf_getFilterCount(ENDPOINT_ID) { return 0; }

} // namespace ProtocolFilters
