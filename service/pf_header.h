#pragma once

#include "platform/netfilter/ProtocolFilters.h"

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrum {

// The header fields of one request in arrival order, with a case-insensitive
// index by name.
class PFHeader {
public:
    using Field = std::pair<std::string, std::string>;

    PFHeader() = default;
    virtual ~PFHeader() = default;

    static std::string lowerName(std::string_view name);

    // Parses raw header text; stops at the empty line or a line it cannot
    // take. Always true.
    bool parseHeaderText(const char* text, size_t length);
    // false when parsing must stop.
    bool parseHeaderLine(std::string_view line);
    void addField(std::string name, std::string value);
    // The first field of that name (any case), or nullptr.
    const Field* findFirstField(std::string_view name) const;
    // Calls visit with the value of every field of that name, in arrival order.
    template <typename Visit> void forEachValue(std::string_view name, Visit visit) const {
        const auto [first, last] = m_index.equal_range(lowerName(name));
        for (auto place = first; place != last; ++place) {
            visit(m_fields[place->second].second);
        }
    }
    void clear();

    const std::vector<Field>& fields() const { return m_fields; }

private:
    std::vector<Field> m_fields;
    std::multimap<std::string, size_t> m_index;
};

// Fills header from a protocol-filter object stream; false when either is
// missing or the stream is empty (header then stays as it was).
bool readHeader(ProtocolFilters::ObjectStream* stream, PFHeader* header);

} // namespace ostrum
