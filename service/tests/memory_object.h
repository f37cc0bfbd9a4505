#pragma once

#include "platform/netfilter/ProtocolFilters.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace ostrum::testing {

// An object stream over bytes in memory.
class MemoryStream : public ProtocolFilters::ObjectStream {
public:
    explicit MemoryStream(std::string data) : m_data(std::move(data)) {}

    uint64_t seek(int64_t offset, int origin) override {
        const int64_t base = origin == ProtocolFilters::FILE_BEGIN ? 0
                             : origin == ProtocolFilters::FILE_END ? int64_t(m_data.size())
                                                                   : int64_t(m_position);
        m_position = size_t(std::clamp<int64_t>(base + offset, 0, int64_t(m_data.size())));
        return m_position;
    }

    uint32_t read(void* buffer, uint32_t count) override {
        const size_t n = std::min<size_t>(count, m_data.size() - m_position);
        std::memcpy(buffer, m_data.data() + m_position, n);
        m_position += n;
        return uint32_t(n);
    }

    uint64_t size() override { return m_data.size(); }

private:
    std::string m_data;
    size_t m_position = 0;
};

// A stream that claims a size it does not hold, the way a broken layer might.
class LyingStream : public ProtocolFilters::ObjectStream {
public:
    explicit LyingStream(uint64_t claimed) : m_claimed(claimed) {}
    uint64_t seek(int64_t, int) override { return 0; }
    uint32_t read(void*, uint32_t) override { return 0; }
    uint64_t size() override { return m_claimed; }

private:
    uint64_t m_claimed;
};

// A protocol-filter object with up to three streams: request line, headers, body.
class MemoryObject : public ProtocolFilters::PFObject {
public:
    explicit MemoryObject(int type = ProtocolFilters::OT_HTTP_REQUEST) : m_type(type) {}

    // An HTTP request object; a stream is left out when its text is absent.
    static MemoryObject request(std::string_view line, std::string_view header = {},
                                std::string_view body = {}) {
        MemoryObject object;
        object.setStream(ProtocolFilters::HS_REQUEST_LINE, std::string(line));
        if (!header.empty()) {
            object.setStream(ProtocolFilters::HS_HEADER, std::string(header));
        }
        if (!body.empty()) {
            object.setStream(ProtocolFilters::HS_CONTENT, std::string(body));
        }
        return object;
    }

    void setStream(int index, std::string data) {
        m_streams.at(size_t(index)) = std::make_shared<MemoryStream>(std::move(data));
    }
    void setStream(int index, std::shared_ptr<ProtocolFilters::ObjectStream> stream) {
        m_streams.at(size_t(index)) = std::move(stream);
    }
    void dropStream(int index) { m_streams.at(size_t(index)).reset(); }

    int getType() override { return m_type; }
    int getStreamCount() override {
        return int(std::count_if(m_streams.begin(), m_streams.end(),
                                 [](const auto& stream) { return stream != nullptr; }));
    }
    ProtocolFilters::ObjectStream* getStream(int index) override {
        if (index < 0 || size_t(index) >= m_streams.size()) {
            return nullptr;
        }
        return m_streams[size_t(index)].get();
    }

private:
    int m_type;
    std::array<std::shared_ptr<ProtocolFilters::ObjectStream>, 3> m_streams;
};

} // namespace ostrum::testing
