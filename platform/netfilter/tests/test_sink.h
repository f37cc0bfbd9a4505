#pragma once

// An event sink for the layer's tests: it records every event and answers
// as the test sets it up (before the layer starts).

#include "platform/netfilter/ProtocolFilters.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace nftest {

struct Seen {
    uint64_t id = 0;
    std::string line;
    std::string header;
    std::string body;
};

class TestSink : public ProtocolFilters::PFEventsDefault {
public:
    // What the sink does; read by the layer's threads, so set before nf_init.
    bool filterHttp = true;
    bool closeOnConnect = false;
    std::function<int(const Seen&)> onPart = [](const Seen&) {
        return int(ProtocolFilters::DPCR_FILTER);
    };
    // Default: pass the request on.
    std::function<void(uint64_t, ProtocolFilters::PFObject*)> onRequest =
        [](uint64_t id, ProtocolFilters::PFObject* object) {
            ProtocolFilters::pf_postObject(id, object);
        };

    void tcpConnected(uint64_t id, nfapi::TcpConnInfo* info) override;
    void tcpClosed(uint64_t id, nfapi::TcpConnInfo* info) override;
    void dataAvailable(uint64_t id, ProtocolFilters::PFObject* object) override;
    int dataPartAvailable(uint64_t id, ProtocolFilters::PFObject* object) override;

    std::vector<uint64_t> connected() const;
    std::vector<uint64_t> closed() const;
    std::vector<Seen> parts() const;
    std::vector<Seen> requests() const;
    std::vector<std::pair<uint64_t, int>> notices() const;
    std::vector<nfapi::TcpConnInfo> infos() const;
    // Waits (bounded) until that many connections have been reported closed.
    bool waitForClosed(size_t count) const;
    bool waitForRequests(size_t count) const;
    // Events seen for an id after it was reported closed.
    size_t eventsAfterClose() const;

private:
    void note(uint64_t id);

    mutable std::mutex m_lock;
    mutable std::condition_variable m_changed;
    std::vector<uint64_t> m_connected;
    std::vector<uint64_t> m_closed;
    std::vector<Seen> m_parts;
    std::vector<Seen> m_requests;
    std::vector<std::pair<uint64_t, int>> m_notices;
    std::vector<nfapi::TcpConnInfo> m_infos;
    size_t m_eventsAfterClose = 0;
};

// The three streams of a request object, read as the service reads them.
Seen readObject(uint64_t id, ProtocolFilters::PFObject* object);

} // namespace nftest
