#pragma once

// The objects handed to the sink: views on bytes the layer holds, valid for
// as long as the layer keeps the request (until it is passed on or closed).

#include "platform/netfilter/ProtocolFilters.h"

#include <string_view>

namespace platform::netfilter {

class ViewStream final : public ProtocolFilters::ObjectStream {
public:
    void reset(std::string_view bytes);

    uint64_t seek(int64_t offset, int origin) override;
    uint32_t read(void* buffer, uint32_t count) override;
    uint64_t size() override { return m_bytes.size(); }

private:
    std::string_view m_bytes;
    uint64_t m_position = 0;
};

// A request (three streams) or a disconnect notice (none).
class StreamObject final : public ProtocolFilters::PFObject {
public:
    explicit StreamObject(int type = ProtocolFilters::OT_HTTP_REQUEST);

    void setRequest(std::string_view line, std::string_view header, std::string_view body);

    int getType() override { return m_type; }
    int getStreamCount() override { return m_count; }
    ProtocolFilters::ObjectStream* getStream(int index) override;

private:
    int m_type;
    int m_count = 0;
    ViewStream m_streams[3];
};

} // namespace platform::netfilter
