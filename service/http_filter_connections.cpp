#include "platform/socket_address.h"
#include "service/http_filter.h"
#include "service/trace.h"

#include <cinttypes>

namespace ostrum {
namespace {

// "address:port" at its last ':'; a text without one is all address.
void splitAddress(const std::string& text, std::string& address, std::string& port) {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) {
        address = text;
        port.clear();
        return;
    }
    address.assign(text, 0, colon);
    port.assign(text, colon + 1);
}

connrecord recordOf(const nfapi::TcpConnInfo& info) {
    connrecord record;
    const std::string client =
        platform::socketAddressText(info.remoteAddress, sizeof info.remoteAddress);
    const std::string server =
        platform::socketAddressText(info.localAddress, sizeof info.localAddress);
    splitAddress(client, record.clientip, record.clientport);
    splitAddress(server, record.serverip, record.serverport);
    record.clientaddr = platform::socketAddressIpv4(info.remoteAddress, sizeof info.remoteAddress);
    return record;
}

bool isFilteredInbound(const nfapi::TcpConnInfo* info) {
    return info != nullptr && (info->filteringFlag & nfapi::NF_FILTER) != 0 &&
           info->direction == nfapi::NF_D_IN;
}

} // namespace

void HttpFilter::tcpConnected(uint64_t id, nfapi::TcpConnInfo* info) {
    if (!isFilteredInbound(info)) {
        return;
    }
    connrecord record = recordOf(*info);
    const std::string clientip = record.clientip;
    OST_TRACE("new http connection.id=%" PRIu64
              ", client ip=%s,client port=%s,server ip=%s,server port=%s",
              id, clientip.c_str(), record.clientport.c_str(), record.serverip.c_str(),
              record.serverport.c_str());
    if (matchList(clientip, WL_IP)) {
        OST_TRACE_TEXT("ip in wlist,passby the data!\n");
        return;
    }
    if (matchList(clientip, BL_IP) &&
        blockConnection(id, clientip + " in BL_IP,block on tcpConnected!")) {
        return;
    }
    const uint32_t limit = countConnection(record);
    admitConnection(id, std::move(record));
    if (limit != 0 && blockConnection(id, clientip + " connect too much (>" +
                                              std::to_string(limit) + "),block on tcpConnected!")) {
        return;
    }
    if (isIpBlocked(clientip)) {
        writeMainLog(clientip + "\tblock on tcpConnected!");
        nfapi::nf_tcpClose(id);
        OST_TRACE_TEXT("action block on tcpConnected!");
        return;
    }
    ProtocolFilters::pf_addFilter(id, ProtocolFilters::FT_HTTP, ProtocolFilters::FF_READ_ONLY_IN,
                                  ProtocolFilters::OT_NEXT, ProtocolFilters::FT_NONE);
}

// Counted before the record is stored, so that the record says whether its
// range counted it from the moment a close can find it.
uint32_t HttpFilter::countConnection(connrecord& record) {
    if (!m_config.getLimitConn() || record.clientaddr == 0) {
        return 0;
    }
    const uint32_t limit = m_engine.addipconn(record.clientaddr);
    OST_TRACE("%s addipconn _ccount=%u", record.clientip.c_str(), limit);
    record.counted = limit == 0;
    return limit;
}

// A record replaced under the same id is never closed by itself: its count
// is given back here.
void HttpFilter::admitConnection(uint64_t id, connrecord record) {
    std::lock_guard<Mutex> guard(maplock);
    const auto [place, inserted] = ip2map.try_emplace(id);
    if (!inserted && place->second.counted) {
        const uint32_t left = m_engine.decipconn(place->second.clientaddr);
        OST_TRACE("tcpConnected,%s decipconn _ccount=%u", place->second.clientip.c_str(), left);
    }
    place->second = std::move(record);
}

void HttpFilter::tcpClosed(uint64_t id, nfapi::TcpConnInfo* info) {
    if (info == nullptr || info->direction != nfapi::NF_D_IN) {
        return;
    }
    forgetConnection(id, CloseEvent::TcpClosed);
}

void HttpFilter::forgetConnection(uint64_t id, CloseEvent event) {
    const bool closed = event == CloseEvent::TcpClosed;
    std::lock_guard<Mutex> guard(maplock);
    const auto found = ip2map.find(id);
    if (found == ip2map.end()) {
        return;
    }
    const connrecord& record = found->second;
    if (record.counted) {
        const uint32_t left = m_engine.decipconn(record.clientaddr);
        if (closed) {
            OST_TRACE("tcpClosed,%s decipconn _ccount=%u", record.clientip.c_str(), left);
        } else {
            OST_TRACE("dataAvailable,%s decipconn _ccount=%u", record.clientip.c_str(), left);
        }
    }
    if (closed) {
        OST_TRACE("tcpClosed,http closed.remove ip2map!,ip=%s id=%" PRIu64 "\n\n",
                  record.clientip.c_str(), id);
    } else {
        OST_TRACE_TEXT("dataAvailable,get DISCONNECT message,remove ip2map!\n\n");
    }
    ip2map.erase(found);
}

nfapi::NF_STATUS HttpFilter::tcpPostSend(uint64_t id, const char* buf, int len) {
    if (ProtocolFilters::pf_getFilterCount(id) == 0) {
        nfapi::nf_tcpDisableFiltering(id);
    }
    return nfapi::nf_tcpPostSend(id, buf, len);
}

nfapi::NF_STATUS HttpFilter::tcpPostReceive(uint64_t id, const char* buf, int len) {
    if (ProtocolFilters::pf_getFilterCount(id) == 0) {
        nfapi::nf_tcpDisableFiltering(id);
    }
    return nfapi::nf_tcpPostReceive(id, buf, len);
}

} // namespace ostrum
