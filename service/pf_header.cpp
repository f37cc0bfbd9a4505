#include "service/pf_header.h"

#include "service/trace.h"

#include <algorithm>
#include <memory>
#include <new>

namespace ostrum {
namespace {

// A header stream beyond this is hostile, not a request.
constexpr uint64_t kMaxHeaderSize = 64 * 1024 * 1024;

// Reads until size bytes are in or the stream has no more; a count beyond
// what was asked is not believed.
size_t readAll(ProtocolFilters::ObjectStream& stream, char* buffer, size_t size) {
    size_t got = 0;
    while (got < size) {
        const size_t wanted = size - got;
        const uint32_t n = stream.read(buffer + got, uint32_t(wanted));
        if (n == 0) {
            break;
        }
        got += std::min<size_t>(n, wanted);
    }
    return got;
}

} // namespace

std::string PFHeader::lowerName(std::string_view name) {
    std::string lower(name);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = char(c - 'A' + 'a');
        }
    }
    return lower;
}

bool PFHeader::parseHeaderText(const char* text, size_t length) {
    clear();
    if (text == nullptr) {
        return true;
    }
    std::string_view rest(text, length);
    while (!rest.empty()) {
        const size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (line.empty() || !parseHeaderLine(line)) {
            break;
        }
    }
    return true;
}

bool PFHeader::parseHeaderLine(std::string_view line) {
    if (line.empty()) {
        return true;
    }
    if (!m_fields.empty() && (line[0] == ' ' || line[0] == '\t')) {
        std::string& value = m_fields.back().second;
        value.append("\r\n");
        value.append(line);
        return true;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    std::string_view value = line.substr(colon + 1);
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    addField(std::string(line.substr(0, colon)), std::string(value));
    return true;
}

void PFHeader::addField(std::string name, std::string value) {
    std::string key = lowerName(name);
    m_fields.emplace_back(std::move(name), std::move(value));
    m_index.emplace(std::move(key), m_fields.size() - 1);
}

const PFHeader::Field* PFHeader::findFirstField(std::string_view name) const {
    const std::string key = lowerName(name);
    // Equal keys keep their insertion order, so the lower bound is the earliest.
    const auto found = m_index.lower_bound(key);
    if (found == m_index.end() || found->first != key) {
        return nullptr;
    }
    return &m_fields[found->second];
}

void PFHeader::clear() {
    m_fields.clear();
    m_index.clear();
}

bool readHeader(ProtocolFilters::ObjectStream* stream, PFHeader* header) {
    if (stream == nullptr || header == nullptr) {
        return false;
    }
    const uint64_t size = stream->size();
    if (size == 0) {
        return false;
    }
    if (size > kMaxHeaderSize) {
        OST_TRACE("header stream of %llu bytes refused", static_cast<unsigned long long>(size));
        return false;
    }
    header->clear();
    // Zeroed, so a stream that claims bytes it never wrote yields no garbage.
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]());
    if (!buffer) {
        return false;
    }
    stream->seek(0, ProtocolFilters::FILE_BEGIN);
    const size_t got = readAll(*stream, buffer.get(), size_t(size));
    return header->parseHeaderText(buffer.get(), got);
}

} // namespace ostrum
