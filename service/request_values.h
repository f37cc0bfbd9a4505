#pragma once

#include "platform/netfilter/ProtocolFilters.h"
#include "service/engine.h"
#include "service/pf_header.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ostrum {

// The most the protocol filter holds of one request: request line, headers
// and body together.
constexpr uint64_t kHeldRequestMax = 1048576;
// The detail record's share of the header block and of the body.
constexpr size_t kDetailPartMax = 1024;

// The parts of a request line "method target version CR LF".
struct RequestLine {
    std::string method;
    std::string url;              // decoded and lower-cased
    std::string_view querystring; // into the line
    std::string httpver;
    std::string ext;
};

// Splits a request line; parts it cannot find stay empty. The query string
// is a view into line.
void splitRequestLine(std::string_view line, RequestLine& parts);

// Reads a stream from its start, at most limit bytes, into out. False when
// there is no stream.
bool readStream(ProtocolFilters::ObjectStream* stream, std::string& out,
                size_t limit = kHeldRequestMax);

// printf's "%.*s" length of a view; a view of a request is at most 1 MiB.
inline int traceLength(std::string_view text) {
    return int(std::min<size_t>(text.size(), INT_MAX));
}

// a + b, held at the largest value instead of wrapping.
uint64_t saturatingAdd(uint64_t a, uint64_t b);

// The values of every line of one header field, in arrival order: views
// into the request's header text.
using FieldValues = std::vector<std::string_view>;

// True when the media type itself, before any ';' and without its blanks,
// is multipart/form-data in any case.
bool isMultipartFormData(std::string_view contenttype);

// The header fields that a request's values come from.
enum class KnownField : uint8_t {
    Other,
    ContentType,
    Referer,
    UserAgent,
    Host,
    ForwardedFor,  // HTTP_X_FORWARDED_FOR
    XForwardedFor, // x-forwarded-for
    ClientIp,
    AcceptLanguage,
    Cookie,
};

// The fields of a parsed header, each marked once with the known name it
// has in any case, so that the dozen look-ups of a request compare a mark
// rather than a name. The header must outlive it and stay unchanged.
class MarkedFields {
public:
    // marks: room the caller keeps from request to request.
    MarkedFields(const PFHeader& header, std::vector<KnownField>& marks);

    const PFHeader::Field* first(KnownField which) const;
    // Calls visit with the value of every field so marked, in arrival order.
    template <typename Visit> void forEachValue(KnownField which, Visit visit) const {
        for (size_t i = 0; i < m_marks.size(); ++i) {
            if (m_marks[i] == which) {
                visit(m_fields[i].second);
            }
        }
    }

private:
    const std::vector<PFHeader::Field>& m_fields;
    const std::vector<KnownField>& m_marks;
};

// The header fields of a request whose every line is inspected, kept from
// request to request with their room, as the header text is.
struct FieldLines {
    FieldValues referer;
    FieldValues agent;
    FieldValues proxy;
    FieldValues cip;
    FieldValues alan;

    void clear();
    // The lines there is room for, in all.
    size_t capacity() const;
};

// The values of one request under inspection. Its views point into the
// request's texts and parsed header, which last as long as the inspection.
struct RequestValues {
    uint64_t id = 0;
    std::string clientip = "null";
    std::string clientport = "null";
    std::string serverip = "null";
    std::string serverport = "null";
    RequestLine line;
    std::string_view contenttype;
    std::string_view host;
    std::string_view postdata;
    bool multipart = false;
    std::string action;
};

// The record of one hit, each field after one blank; kind is "AR:" or "PR:".
// The client's host, method and url are written as log fields.
std::string attackRecord(const RequestValues& values, std::string_view label, std::string_view kind,
                         int32_t ruleId);

// The detail record of one request, built piece by piece into a buffer
// that the caller keeps from request to request; nothing is kept while the
// detail log is off.
class DetailRecord {
public:
    DetailRecord(bool enabled, std::string& buffer) : m_enabled(enabled), m_text(buffer) {
        m_text.clear();
    }

    bool enabled() const { return m_enabled; }
    void begin(const RequestValues& values);
    void addRequestLine(std::string_view line);
    void addHeader(std::string_view header);
    void addBody(std::string_view body);
    const std::string& text() const { return m_text; }

private:
    const bool m_enabled;
    std::string& m_text;
};

} // namespace ostrum
