#pragma once

// The HTTP protocol-filter layer: requests of a filtered connection arrive as
// objects with numbered streams; the sink decides what becomes of each.

#include "platform/netfilter/nfapi.h"

#include <cstdint>

namespace ProtocolFilters {

using nfapi::ENDPOINT_ID;

enum PF_ObjectType : int {
    OT_NULL = 0,
    OT_TCP_DISCONNECT_LOCAL = 1,
    OT_TCP_DISCONNECT_REMOTE = 2,
    OT_HTTP_REQUEST = 200,
};

enum PF_FilterType : int {
    FT_NONE = 0,
    FT_HTTP = 200,
};

enum PF_OpTarget : int {
    OT_NEXT = 3,
};

constexpr unsigned long FF_READ_ONLY_IN = 2;

enum PF_DATA_PART_CHECK_RESULT : int {
    DPCR_FILTER = 0,
    DPCR_BYPASS = 3,
    DPCR_BLOCK = 4,
};

// Streams of an HTTP request object.
constexpr int HS_REQUEST_LINE = 0;
constexpr int HS_HEADER = 1;
constexpr int HS_CONTENT = 2;

enum SeekOrigin : int { FILE_BEGIN = 0, FILE_CURRENT = 1, FILE_END = 2 };

class ObjectStream {
public:
    virtual ~ObjectStream() = default;
    virtual uint64_t seek(int64_t offset, int origin) = 0;
    virtual uint32_t read(void* buffer, uint32_t count) = 0;
    virtual uint64_t size() = 0;
};

class PFObject {
public:
    virtual ~PFObject() = default;
    virtual int getType() = 0;
    virtual int getStreamCount() = 0;
    // nullptr when the object has no stream of that index.
    virtual ObjectStream* getStream(int index) = 0;
};

class PFEvents {
public:
    virtual ~PFEvents() = default;
    virtual void ignoredEvent0() = 0;
    virtual void ignoredEvent1() = 0;
    virtual void ignoredEvent2(ENDPOINT_ID id, void* data) = 0;
    virtual void tcpConnected(ENDPOINT_ID id, nfapi::TcpConnInfo* info) = 0;
    virtual void tcpClosed(ENDPOINT_ID id, nfapi::TcpConnInfo* info) = 0;
    virtual void ignoredEvent5(ENDPOINT_ID id, void* data) = 0;
    virtual void ignoredEvent6(ENDPOINT_ID id, void* data) = 0;
    virtual void ignoredEvent7(ENDPOINT_ID id, void* data) = 0;
    virtual void dataAvailable(ENDPOINT_ID id, PFObject* object) = 0;
    virtual int dataPartAvailable(ENDPOINT_ID id, PFObject* object) = 0;
    virtual nfapi::NF_STATUS tcpPostSend(ENDPOINT_ID id, const char* buf, int len) = 0;
    virtual nfapi::NF_STATUS tcpPostReceive(ENDPOINT_ID id, const char* buf, int len) = 0;
    virtual nfapi::NF_STATUS tcpSetConnectionState(ENDPOINT_ID id, int suspended) = 0;
    virtual nfapi::NF_STATUS udpPostSend(ENDPOINT_ID id, const unsigned char* remoteAddress,
                                         const char* buf, int len, void* options) = 0;
    virtual nfapi::NF_STATUS udpPostReceive(ENDPOINT_ID id, const unsigned char* remoteAddress,
                                            const char* buf, int len, void* options) = 0;
    virtual nfapi::NF_STATUS udpSetConnectionState(ENDPOINT_ID id, int suspended) = 0;
};

// Every event ignored, every request passed through unfiltered.
class PFEventsDefault : public PFEvents {
public:
    void ignoredEvent0() override {}
    void ignoredEvent1() override {}
    void ignoredEvent2(ENDPOINT_ID, void*) override {}
    void tcpConnected(ENDPOINT_ID, nfapi::TcpConnInfo*) override {}
    void tcpClosed(ENDPOINT_ID, nfapi::TcpConnInfo*) override {}
    void ignoredEvent5(ENDPOINT_ID, void*) override {}
    void ignoredEvent6(ENDPOINT_ID, void*) override {}
    void ignoredEvent7(ENDPOINT_ID, void*) override {}
    void dataAvailable(ENDPOINT_ID, PFObject*) override {}
    int dataPartAvailable(ENDPOINT_ID, PFObject*) override { return DPCR_BYPASS; }
    nfapi::NF_STATUS tcpPostSend(ENDPOINT_ID id, const char* buf, int len) override {
        return nfapi::nf_tcpPostSend(id, buf, len);
    }
    nfapi::NF_STATUS tcpPostReceive(ENDPOINT_ID id, const char* buf, int len) override {
        return nfapi::nf_tcpPostReceive(id, buf, len);
    }
    nfapi::NF_STATUS tcpSetConnectionState(ENDPOINT_ID id, int suspended) override {
        return nfapi::nf_tcpSetConnectionState(id, suspended);
    }
    nfapi::NF_STATUS udpPostSend(ENDPOINT_ID id, const unsigned char* remoteAddress,
                                 const char* buf, int len, void* options) override {
        return nfapi::nf_udpPostSend(id, remoteAddress, buf, len, options);
    }
    nfapi::NF_STATUS udpPostReceive(ENDPOINT_ID id, const unsigned char* remoteAddress,
                                    const char* buf, int len, void* options) override {
        return nfapi::nf_udpPostReceive(id, remoteAddress, buf, len, options);
    }
    nfapi::NF_STATUS udpSetConnectionState(ENDPOINT_ID id, int suspended) override {
        return nfapi::nf_udpSetConnectionState(id, suspended);
    }
};

// Non-zero on success.
int pf_init(PFEvents* sink, const wchar_t* dataFolder);
void pf_free();
nfapi::NF_EventHandler* pf_getNFEventHandler();
bool pf_addFilter(ENDPOINT_ID id, PF_FilterType type, unsigned long flags,
                  PF_OpTarget target = OT_NEXT, PF_FilterType typeBase = FT_NONE);
bool pf_postObject(ENDPOINT_ID id, PFObject* object);
int pf_getFilterCount(ENDPOINT_ID id);

} // namespace ProtocolFilters
