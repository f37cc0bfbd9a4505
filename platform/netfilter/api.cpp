// The nfapi and ProtocolFilters calls, on top of the layer.

#include "platform/netfilter/layer.h"
#include "platform/netfilter/operator_log.h"

namespace nfapi {

using platform::netfilter::Layer;

NF_STATUS nf_init(const char*, NF_EventHandler* handler) {
    return Layer::instance().start(handler);
}

void nf_free() {
    Layer::instance().stop();
}

NF_STATUS nf_addRule(NF_RULE* rule, int) {
    return rule == nullptr ? NF_STATUS_FAIL : Layer::instance().addRule(*rule);
}

NF_STATUS nf_tcpClose(ENDPOINT_ID id) {
    return Layer::instance().close(id) ? NF_STATUS_SUCCESS : NF_STATUS_INVALID_ENDPOINT_ID;
}

// Connections are filtered only through pf_addFilter; there is nothing else to turn off.
NF_STATUS nf_tcpDisableFiltering(ENDPOINT_ID id) {
    return Layer::instance().known(id) ? NF_STATUS_SUCCESS : NF_STATUS_INVALID_ENDPOINT_ID;
}

// The layer raises no raw-data or UDP events, so there is nothing these could answer.
NF_STATUS nf_tcpPostSend(ENDPOINT_ID, const char*, int) {
    return NF_STATUS_FAIL;
}
NF_STATUS nf_tcpPostReceive(ENDPOINT_ID, const char*, int) {
    return NF_STATUS_FAIL;
}
NF_STATUS nf_tcpSetConnectionState(ENDPOINT_ID, int) {
    return NF_STATUS_FAIL;
}
NF_STATUS nf_udpPostSend(ENDPOINT_ID, const unsigned char*, const char*, int, void*) {
    return NF_STATUS_FAIL;
}
NF_STATUS nf_udpPostReceive(ENDPOINT_ID, const unsigned char*, const char*, int, void*) {
    return NF_STATUS_FAIL;
}
NF_STATUS nf_udpSetConnectionState(ENDPOINT_ID, int) {
    return NF_STATUS_FAIL;
}

} // namespace nfapi

namespace platform::netfilter {

void setOperatorLog(OperatorLog log) {
    Layer::instance().setOperatorLog(std::move(log));
}

} // namespace platform::netfilter

namespace ProtocolFilters {

using platform::netfilter::Layer;

int pf_init(PFEvents* sink, const wchar_t* dataFolder) {
    return Layer::instance().init(sink, dataFolder);
}

void pf_free() {
    Layer::instance().free();
}

nfapi::NF_EventHandler* pf_getNFEventHandler() {
    return Layer::instance().handler();
}

bool pf_addFilter(ENDPOINT_ID id, PF_FilterType type, unsigned long, PF_OpTarget, PF_FilterType) {
    return type == FT_HTTP && Layer::instance().addFilter(id);
}

bool pf_postObject(ENDPOINT_ID id, PFObject* object) {
    return Layer::instance().post(id, object);
}

int pf_getFilterCount(ENDPOINT_ID id) {
    return Layer::instance().filtered(id) ? 1 : 0;
}

} // namespace ProtocolFilters
