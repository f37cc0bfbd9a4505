#include "service/request_values.h"

#include "service/decoders.h"
#include "service/log_field.h"

#include <algorithm>
#include <cctype>
#include <limits>

namespace ostrum {
namespace {

struct KnownName {
    KnownField field;
    std::string_view name;
};

constexpr KnownName kKnownNames[] = {
    {KnownField::ContentType, "Content-Type"},
    {KnownField::Referer, "Referer"},
    {KnownField::UserAgent, "User-Agent"},
    {KnownField::Host, "Host"},
    {KnownField::ForwardedFor, "HTTP_X_FORWARDED_FOR"},
    {KnownField::XForwardedFor, "x-forwarded-for"},
    {KnownField::ClientIp, "client-ip"},
    {KnownField::AcceptLanguage, "Accept-Language"},
    {KnownField::Cookie, "Cookie"},
};

KnownField knownFieldOf(std::string_view name) {
    for (const KnownName& known : kKnownNames) {
        if (name.size() == known.name.size() && PFHeader::sameName(name, known.name)) {
            return known.field;
        }
    }
    return KnownField::Other;
}

// The version part: a blank and eight characters before the CR LF.
constexpr size_t kVersionPart = 9;
constexpr size_t kReadChunk = 64 * 1024;

} // namespace

void splitRequestLine(std::string_view line, RequestLine& parts) {
    const size_t sp = line.find(' ');
    if (sp == std::string_view::npos) {
        return;
    }
    parts.method.assign(line.substr(0, sp));
    const size_t le = line.find("\r\n", sp);
    if (le == std::string_view::npos) {
        return;
    }
    // A '?' beyond the line end belongs to no target.
    const size_t q = line.substr(0, le).find('?', sp);
    const size_t target = sp + 1;
    if (q != std::string_view::npos) {
        parts.url = decodeLower(line.substr(target, q - target));
        if (le - q > kVersionPart) {
            parts.querystring = line.substr(q + 1, le - q - kVersionPart - 1);
        }
    } else if (le - sp > kVersionPart) {
        parts.url = decodeLower(line.substr(target, le - sp - kVersionPart - 1));
    }
    if (le - sp > kVersionPart) {
        parts.httpver.assign(line.substr(le - 3, 3));
    }
    const size_t dot = parts.url.rfind('.');
    if (dot != std::string::npos) {
        parts.ext.assign(parts.url, dot + 1);
    }
}

// The size a stream claims is not believed beyond limit, nor is a read
// that answers more than was asked.
bool readStream(ProtocolFilters::ObjectStream* stream, std::string& out, size_t limit) {
    out.clear();
    if (stream == nullptr) {
        return false;
    }
    const size_t wanted = size_t(std::min<uint64_t>(stream->size(), limit));
    stream->seek(0, ProtocolFilters::FILE_BEGIN);
    out.resize(wanted);
    size_t got = 0;
    while (got < wanted) {
        const size_t ask = std::min(wanted - got, kReadChunk);
        const uint32_t n = stream->read(out.data() + got, uint32_t(ask));
        if (n == 0) {
            break;
        }
        got += std::min<size_t>(n, ask);
    }
    out.resize(got);
    return true;
}

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
    return b > kMax - a ? kMax : a + b;
}

MarkedFields::MarkedFields(const PFHeader& header, std::vector<KnownField>& marks)
    : m_fields(header.fields()), m_marks(marks) {
    marks.clear();
    marks.reserve(m_fields.size());
    for (const PFHeader::Field& field : m_fields) {
        marks.push_back(knownFieldOf(field.first));
    }
}

const PFHeader::Field* MarkedFields::first(KnownField which) const {
    for (size_t i = 0; i < m_marks.size(); ++i) {
        if (m_marks[i] == which) {
            return &m_fields[i];
        }
    }
    return nullptr;
}

void FieldLines::clear() {
    referer.clear();
    agent.clear();
    proxy.clear();
    cip.clear();
    alan.clear();
}

size_t FieldLines::capacity() const {
    return referer.capacity() + agent.capacity() + proxy.capacity() + cip.capacity() +
           alan.capacity();
}

bool isMultipartFormData(std::string_view contenttype) {
    constexpr std::string_view kMultipart = "multipart/form-data";
    std::string_view media = contenttype.substr(0, contenttype.find(';'));
    const size_t first = media.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return false;
    }
    media = media.substr(first, media.find_last_not_of(" \t") - first + 1);
    return media.size() == kMultipart.size() &&
           std::equal(media.begin(), media.end(), kMultipart.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) == b;
           });
}

// An empty field would shift the columns that the console reads by blanks.
std::string attackRecord(const RequestValues& values, std::string_view label, std::string_view kind,
                         int32_t ruleId) {
    const auto orNull = [](std::string_view text) {
        return text.empty() ? std::string_view("null") : text;
    };
    std::string record;
    record.reserve(values.clientip.size() + values.serverip.size() + values.serverport.size() +
                   values.host.size() + values.line.method.size() + label.size() + kind.size() +
                   values.action.size() + values.line.url.size() + 32);
    for (const std::string_view field :
         {std::string_view(values.clientip), std::string_view(values.serverip),
          std::string_view(values.serverport)}) {
        record.push_back(' ');
        record.append(field);
    }
    for (const std::string_view field : {orNull(values.host), orNull(values.line.method)}) {
        record.push_back(' ');
        appendLogField(record, field);
    }
    record.push_back(' ');
    record.append(label);
    record.push_back(' ');
    record.append(kind).append(std::to_string(ruleId));
    record.push_back(' ');
    record.append(values.action.empty() ? std::string_view("log") : values.action);
    record.push_back(' ');
    appendLogField(record, orNull(values.line.url));
    return record;
}

void DetailRecord::begin(const RequestValues& values) {
    if (!m_enabled) {
        return;
    }
    m_text.append("clientip=").append(values.clientip);
    m_text.append(" serverip=").append(values.serverip);
    m_text.append(" serverport=").append(values.serverport);
    m_text.push_back('\n');
}

void DetailRecord::addRequestLine(std::string_view line) {
    if (m_enabled) {
        m_text.append(line);
    }
}

void DetailRecord::addHeader(std::string_view header) {
    if (!m_enabled) {
        return;
    }
    m_text.append(header.substr(0, kDetailPartMax));
    m_text.push_back('\n');
}

void DetailRecord::addBody(std::string_view body) {
    if (!m_enabled) {
        return;
    }
    m_text.append("\n\n");
    m_text.append(body.substr(0, kDetailPartMax));
    m_text.push_back('\n');
}

} // namespace ostrum
