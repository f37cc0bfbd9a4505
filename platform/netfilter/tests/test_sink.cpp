#include "test_sink.h"

#include <algorithm>
#include <chrono>

namespace nftest {

namespace {

std::string readStream(ProtocolFilters::PFObject* object, int index) {
    ProtocolFilters::ObjectStream* stream = object->getStream(index);
    if (stream == nullptr) {
        return "<none>";
    }
    std::string bytes(stream->size(), '\0');
    stream->seek(0, ProtocolFilters::FILE_BEGIN);
    bytes.resize(stream->read(bytes.data(), uint32_t(bytes.size())));
    return bytes;
}

} // namespace

Seen readObject(uint64_t id, ProtocolFilters::PFObject* object) {
    return {id, readStream(object, ProtocolFilters::HS_REQUEST_LINE),
            readStream(object, ProtocolFilters::HS_HEADER),
            readStream(object, ProtocolFilters::HS_CONTENT)};
}

void TestSink::note(uint64_t id) {
    if (std::find(m_closed.begin(), m_closed.end(), id) != m_closed.end()) {
        ++m_eventsAfterClose;
    }
}

void TestSink::tcpConnected(uint64_t id, nfapi::TcpConnInfo* info) {
    {
        std::lock_guard guard(m_lock);
        note(id);
        m_connected.push_back(id);
        m_infos.push_back(*info);
    }
    if (closeOnConnect) {
        nfapi::nf_tcpClose(id);
    } else if (filterHttp) {
        ProtocolFilters::pf_addFilter(id, ProtocolFilters::FT_HTTP,
                                      ProtocolFilters::FF_READ_ONLY_IN, ProtocolFilters::OT_NEXT,
                                      ProtocolFilters::FT_NONE);
    }
}

void TestSink::tcpClosed(uint64_t id, nfapi::TcpConnInfo*) {
    std::lock_guard guard(m_lock);
    note(id);
    m_closed.push_back(id);
    m_changed.notify_all();
}

void TestSink::dataAvailable(uint64_t id, ProtocolFilters::PFObject* object) {
    const int type = object->getType();
    {
        std::lock_guard guard(m_lock);
        note(id);
        if (type == ProtocolFilters::OT_HTTP_REQUEST) {
            m_requests.push_back(readObject(id, object));
        } else {
            m_notices.emplace_back(id, type);
        }
        m_changed.notify_all();
    }
    if (type == ProtocolFilters::OT_HTTP_REQUEST) {
        onRequest(id, object);
    } else {
        ProtocolFilters::pf_postObject(id, object);
    }
}

int TestSink::dataPartAvailable(uint64_t id, ProtocolFilters::PFObject* object) {
    const Seen seen = readObject(id, object);
    {
        std::lock_guard guard(m_lock);
        note(id);
        m_parts.push_back(seen);
    }
    return onPart(seen);
}

std::vector<uint64_t> TestSink::connected() const {
    std::lock_guard guard(m_lock);
    return m_connected;
}

std::vector<uint64_t> TestSink::closed() const {
    std::lock_guard guard(m_lock);
    return m_closed;
}

std::vector<Seen> TestSink::parts() const {
    std::lock_guard guard(m_lock);
    return m_parts;
}

std::vector<Seen> TestSink::requests() const {
    std::lock_guard guard(m_lock);
    return m_requests;
}

std::vector<std::pair<uint64_t, int>> TestSink::notices() const {
    std::lock_guard guard(m_lock);
    return m_notices;
}

std::vector<nfapi::TcpConnInfo> TestSink::infos() const {
    std::lock_guard guard(m_lock);
    return m_infos;
}

size_t TestSink::eventsAfterClose() const {
    std::lock_guard guard(m_lock);
    return m_eventsAfterClose;
}

bool TestSink::waitForClosed(size_t count) const {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::seconds(20),
                              [&] { return m_closed.size() >= count; });
}

bool TestSink::waitForRequests(size_t count) const {
    std::unique_lock guard(m_lock);
    return m_changed.wait_for(guard, std::chrono::seconds(20),
                              [&] { return m_requests.size() >= count; });
}

} // namespace nftest
