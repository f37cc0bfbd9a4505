#include "service/pf_header.h"

#include "service/trace.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace ostrum {
namespace {

// A header stream beyond this is hostile, not a request.
constexpr uint64_t kMaxHeaderSize = 64 * 1024 * 1024;
// Room for the fields of a browser's request, made once per parse.
constexpr size_t kFieldsReserved = 16;

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

char asciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

} // namespace

bool PFHeader::sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i] != b[i] && asciiLower(a[i]) != asciiLower(b[i])) {
            return false;
        }
    }
    return true;
}

bool PFHeader::parseHeaderText(const char* text, size_t length) {
    clear();
    if (text != nullptr && length != 0 && makeText(length)) {
        std::memcpy(m_text.get(), text, length);
    }
    parseHeaderView(std::string_view(m_text.get(), m_textSize));
    return true;
}

void PFHeader::parseHeaderView(std::string_view rest) {
    m_fields.clear();
    m_kept.clear();
    m_fields.reserve(kFieldsReserved);
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
}

bool PFHeader::parseHeaderLine(std::string_view line) {
    if (line.empty()) {
        return true;
    }
    if (!m_fields.empty() && (line[0] == ' ' || line[0] == '\t')) {
        std::string_view& value = m_fields.back().second;
        if (m_kept.empty() || value.data() != m_kept.front().data()) {
            value = keep(std::string(value));
        }
        std::string& folded = m_kept.front();
        folded.append("\r\n");
        folded.append(line);
        value = folded;
        return true;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) {
        return false;
    }
    std::string_view value = line.substr(colon + 1);
    value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
    m_fields.emplace_back(line.substr(0, colon), value);
    return true;
}

void PFHeader::addField(std::string_view name, std::string_view value) {
    const std::string_view keptName = keep(std::string(name));
    m_fields.emplace_back(keptName, keep(std::string(value)));
}

std::string_view PFHeader::keep(std::string text) {
    m_kept.push_front(std::move(text));
    return m_kept.front();
}

const PFHeader::Field* PFHeader::findFirstField(std::string_view name) const {
    for (const Field& field : m_fields) {
        if (sameName(field.first, name)) {
            return &field;
        }
    }
    return nullptr;
}

void PFHeader::clear() {
    m_fields.clear();
    m_text.reset();
    m_textSize = 0;
    m_kept.clear();
}

// Zeroed, so a stream that claims bytes it never wrote yields no garbage.
bool PFHeader::makeText(size_t size) {
    m_text.reset(new (std::nothrow) char[size]());
    m_textSize = m_text ? size : 0;
    return m_text != nullptr;
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
    if (!header->makeText(size_t(size))) {
        return false;
    }
    stream->seek(0, ProtocolFilters::FILE_BEGIN);
    header->m_textSize = readAll(*stream, header->m_text.get(), header->m_textSize);
    header->parseHeaderView(std::string_view(header->m_text.get(), header->m_textSize));
    return true;
}

} // namespace ostrum
