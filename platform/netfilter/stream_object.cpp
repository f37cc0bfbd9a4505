#include "platform/netfilter/stream_object.h"

#include <algorithm>
#include <cstring>

namespace platform::netfilter {

void ViewStream::reset(std::string_view bytes) {
    m_bytes = bytes;
    m_position = 0;
}

uint64_t ViewStream::seek(int64_t offset, int origin) {
    uint64_t base = 0;
    if (origin == ProtocolFilters::FILE_CURRENT) {
        base = m_position;
    } else if (origin == ProtocolFilters::FILE_END) {
        base = m_bytes.size();
    }
    const uint64_t size = m_bytes.size();
    if (offset < 0) {
        const uint64_t back = uint64_t(-(offset + 1)) + 1; // no overflow at INT64_MIN
        m_position = back > base ? 0 : base - back;
    } else {
        m_position = std::min(size, base + std::min(uint64_t(offset), size));
    }
    return m_position;
}

uint32_t ViewStream::read(void* buffer, uint32_t count) {
    const uint64_t length = std::min<uint64_t>(count, m_bytes.size() - m_position);
    if (length > 0) {
        std::memcpy(buffer, m_bytes.data() + m_position, length);
    }
    m_position += length;
    return uint32_t(length);
}

StreamObject::StreamObject(int type) : m_type(type) {}

void StreamObject::setRequest(std::string_view line, std::string_view header,
                              std::string_view body) {
    m_type = ProtocolFilters::OT_HTTP_REQUEST;
    m_count = 3;
    m_streams[ProtocolFilters::HS_REQUEST_LINE].reset(line);
    m_streams[ProtocolFilters::HS_HEADER].reset(header);
    m_streams[ProtocolFilters::HS_CONTENT].reset(body);
}

ProtocolFilters::ObjectStream* StreamObject::getStream(int index) {
    return index >= 0 && index < m_count ? &m_streams[index] : nullptr;
}

} // namespace platform::netfilter
