#pragma once

#include "platform/netfilter/ProtocolFilters.h"

#include <cstddef>
#include <forward_list>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrum {

// The header fields of one request in arrival order, looked up by name in
// any case. Names and values are views: into the header's own copy of the
// text, or into the caller's text for parseHeaderView. A header is moved,
// never copied.
class PFHeader {
public:
    using Field = std::pair<std::string_view, std::string_view>;

    PFHeader() = default;
    PFHeader(PFHeader&&) = default;
    PFHeader& operator=(PFHeader&&) = default;
    virtual ~PFHeader() = default;

    // True when a and b are equal but for the case of ASCII letters.
    static bool sameName(std::string_view a, std::string_view b);

    // Parses a copy of raw header text; stops at the empty line or a line
    // it cannot take. Always true.
    bool parseHeaderText(const char* text, size_t length);
    // As parseHeaderText, without the copy: text must outlive every use of
    // the fields.
    void parseHeaderView(std::string_view text);
    // false when parsing must stop.
    bool parseHeaderLine(std::string_view line);
    void addField(std::string_view name, std::string_view value);
    // The first field of that name (any case), or nullptr.
    const Field* findFirstField(std::string_view name) const;
    void clear();

    const std::vector<Field>& fields() const { return m_fields; }

private:
    // Kept apart from the text, so a header line folded over several lines
    // costs its own copy only.
    std::string_view keep(std::string text);

    std::vector<Field> m_fields;
    friend bool readHeader(ProtocolFilters::ObjectStream* stream, PFHeader* header);
    // false when the copy cannot be had.
    bool makeText(size_t size);

    // The header's own copy of the text; on the heap, so that a move keeps
    // the bytes where the views point.
    std::unique_ptr<char[]> m_text;
    size_t m_textSize = 0;
    std::forward_list<std::string> m_kept;
};

// Fills header from a protocol-filter object stream; false when either is
// missing or the stream is empty (header then stays as it was).
bool readHeader(ProtocolFilters::ObjectStream* stream, PFHeader* header);

} // namespace ostrum
