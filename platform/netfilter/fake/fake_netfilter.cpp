#include "platform/netfilter/fake/fake_netfilter.h"

#include "platform/filter_report.h"

#include <arpa/inet.h>
#include <mutex>

namespace fakenet {
namespace {
std::mutex g_lock;
Calls g_calls;
} // namespace

Calls& calls() {
    return g_calls;
}

void reset() {
    std::lock_guard guard(g_lock);
    g_calls = Calls{};
}

} // namespace fakenet

namespace nfapi {

using fakenet::g_calls;
using fakenet::g_lock;

NF_STATUS nf_init(const char* driverName, NF_EventHandler*) {
    std::lock_guard guard(g_lock);
    g_calls.lifecycle.emplace_back("nf_init");
    g_calls.driverName = driverName != nullptr ? driverName : "";
    return g_calls.driverResult;
}

void nf_free() {
    std::lock_guard guard(g_lock);
    g_calls.lifecycle.emplace_back("nf_free");
}

NF_STATUS nf_addRule(NF_RULE* rule, int) {
    std::lock_guard guard(g_lock);
    const uint16_t port = ntohs(rule->localPort);
    g_calls.rulePorts.push_back(port);
    g_calls.rules.push_back(*rule);
    const auto answer = g_calls.ruleResults.find(port);
    const bool refused = answer != g_calls.ruleResults.end() && answer->second != NF_STATUS_SUCCESS;
    platform::setRuleFailure(refused ? "refused by the stand-in" : "");
    return answer != g_calls.ruleResults.end() ? answer->second : NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpClose(ENDPOINT_ID id) {
    std::lock_guard guard(g_lock);
    g_calls.closed.push_back(id);
    return NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpPostSend(ENDPOINT_ID id, const char* buf, int len) {
    std::lock_guard guard(g_lock);
    g_calls.sent.emplace_back(id, std::string(buf, buf != nullptr && len > 0 ? size_t(len) : 0));
    return NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpPostReceive(ENDPOINT_ID id, const char* buf, int len) {
    std::lock_guard guard(g_lock);
    g_calls.received.emplace_back(id,
                                  std::string(buf, buf != nullptr && len > 0 ? size_t(len) : 0));
    return NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpSetConnectionState(ENDPOINT_ID, int) {
    return NF_STATUS_SUCCESS;
}

NF_STATUS nf_tcpDisableFiltering(ENDPOINT_ID id) {
    std::lock_guard guard(g_lock);
    g_calls.filteringDisabled.push_back(id);
    return NF_STATUS_SUCCESS;
}
NF_STATUS nf_udpPostSend(ENDPOINT_ID, const unsigned char*, const char*, int, void*) {
    return NF_STATUS_SUCCESS;
}
NF_STATUS nf_udpPostReceive(ENDPOINT_ID, const unsigned char*, const char*, int, void*) {
    return NF_STATUS_SUCCESS;
}
NF_STATUS nf_udpSetConnectionState(ENDPOINT_ID, int) {
    return NF_STATUS_SUCCESS;
}

} // namespace nfapi

namespace ProtocolFilters {

using fakenet::g_calls;
using fakenet::g_lock;

int pf_init(PFEvents* sink, const wchar_t* dataFolder) {
    std::lock_guard guard(g_lock);
    g_calls.lifecycle.emplace_back("pf_init");
    g_calls.dataFolder = dataFolder != nullptr ? dataFolder : L"";
    g_calls.sink = sink;
    return g_calls.initResult;
}

void pf_free() {
    std::lock_guard guard(g_lock);
    g_calls.lifecycle.emplace_back("pf_free");
    g_calls.sink = nullptr;
}

nfapi::NF_EventHandler* pf_getNFEventHandler() {
    return nullptr;
}

bool pf_addFilter(ENDPOINT_ID id, PF_FilterType type, unsigned long flags, PF_OpTarget target,
                  PF_FilterType typeBase) {
    std::lock_guard guard(g_lock);
    g_calls.filtered.push_back(id);
    g_calls.filterCalls.push_back({id, type, flags, target, typeBase});
    return true;
}

bool pf_postObject(ENDPOINT_ID id, PFObject*) {
    std::lock_guard guard(g_lock);
    g_calls.posted.push_back(id);
    return true;
}

int pf_getFilterCount(ENDPOINT_ID) {
    std::lock_guard guard(g_lock);
    return g_calls.filterCount;
}

} // namespace ProtocolFilters

namespace platform::netfilter {

void setOperatorLog(OperatorLog log) {
    std::lock_guard guard(fakenet::g_lock);
    fakenet::g_calls.operatorLog = std::move(log);
}

} // namespace platform::netfilter
