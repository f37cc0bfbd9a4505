#include "service/http_filter.h"
#include "service/log_field.h"
#include "service/pf_header.h"
#include "service/request_values.h"
#include "service/trace.h"
#include "service/value_check.h"

#include <algorithm>
#include <cinttypes>

namespace ostrum {
namespace {

using ProtocolFilters::DPCR_BLOCK;
using ProtocolFilters::DPCR_BYPASS;
using ProtocolFilters::DPCR_FILTER;
using ProtocolFilters::HS_CONTENT;
using ProtocolFilters::HS_HEADER;
using ProtocolFilters::HS_REQUEST_LINE;
using ProtocolFilters::OT_HTTP_REQUEST;
using ProtocolFilters::OT_TCP_DISCONNECT_LOCAL;
using ProtocolFilters::OT_TCP_DISCONNECT_REMOTE;

// What becomes of the request after a step.
enum class Flow { GoOn, PassOn, Drop };

// Takes a field's first value into out and traces it, when the field exists.
void takeHeader(const MarkedFields& header, KnownField name, const char* traceLabel,
                std::string_view& out) {
    if (const PFHeader::Field* field = header.first(name)) {
        out = field->second;
        OST_TRACE("%s%.*s \n", traceLabel, traceLength(out), out.data());
    }
}

// Appends the value of every line of a field: a web server may read any of
// them, so each is inspected.
void takeHeaderLines(const MarkedFields& header, KnownField name, const char* traceLabel,
                     FieldValues& out) {
    header.forEachValue(name, [&](std::string_view value) {
        OST_TRACE("%s%.*s \n", traceLabel, traceLength(value), value.data());
        out.push_back(value);
    });
}

// A body counts as multipart only when every Content-Type line says so: a
// server that reads another line would parse a body nobody inspected.
bool multipartBody(const MarkedFields& header) {
    bool multipart = false;
    bool other = false;
    header.forEachValue(KnownField::ContentType, [&](std::string_view value) {
        (isMultipartFormData(value) ? multipart : other) = true;
    });
    return multipart && !other;
}

// The event a list check runs in, as its texts name it.
struct ListEvent {
    const char* name;
    const char* passPrefix;
    const char* tracePrefix;
};

constexpr ListEvent kPartialEvent{"dataPartAvailable", "dataPartAvailable, ",
                                  "dataPartAvailable, "};
constexpr ListEvent kCompleteEvent{"dataAvailable", "dataAvailable, ", ""};

// One white list and its black list; a black-list hit that blocking did not
// close lets the request go on.
Flow listCheck(HttpFilter& filter, const RequestValues& values, const ListEvent& event,
               const char* what, std::string_view value, int white, int black) {
    // Most installations list nothing here: one question answers both lists.
    if (!filter.anyListInUse({white, black})) {
        return Flow::GoOn;
    }
    if (filter.matchList(value, white)) {
        OST_TRACE("%s%s in wlist,passby the data!\n", event.passPrefix, what);
        return Flow::PassOn;
    }
    if (!filter.matchList(value, black)) {
        return Flow::GoOn;
    }
    std::string message = values.clientip + " " + logField(value) + " in ";
    message.append(listKeyword(black)).append(",block on ").append(event.name).append("!");
    return filter.blockConnection(values.id, std::move(message)) ? Flow::Drop : Flow::GoOn;
}

// The URL lists, then the extension lists when the URL has a '.'.
Flow requestLineLists(HttpFilter& filter, const RequestValues& values, const ListEvent& event) {
    const RequestLine& line = values.line;
    const Flow flow = listCheck(filter, values, event, "url", line.url, WL_URL, BL_URL);
    if (flow != Flow::GoOn || line.url.find('.') == std::string::npos) {
        return flow;
    }
    OST_TRACE("%sext=%s \n", event.tracePrefix, line.ext.c_str());
    if (line.ext.empty()) {
        return Flow::GoOn;
    }
    return listCheck(filter, values, event, "ext", line.ext, WL_EXT, BL_EXT);
}

// The texts of a request's streams, read into buffers each worker keeps,
// so that a request costs no allocation for them. A buffer that a large
// request grew beyond this is given back afterwards.
constexpr size_t kKeptTextCapacity = 64 * 1024;
// Fields of the parsed header kept likewise: far more than a browser sends.
constexpr size_t kKeptFieldCapacity = 256;
// Variables of one list kept likewise, and the room of their decoded names.
constexpr size_t kKeptPairCapacity = 1024;
constexpr size_t kKeptNameBytes = 64 * 1024;

struct StreamTexts {
    std::string line;
    std::string header;
    std::string body;
    std::string detail;            // the detail record
    std::vector<KnownField> marks; // of the header's fields
    // The parsed header, whose views into header last the whole inspection.
    PFHeader parsed;
    // The header lines and the variables of the cookies, the body and the
    // query string, whose views into the texts above last likewise.
    FieldLines lines;
    PairList cookies;
    PairList postvars;
    PairList queryvars;

    void trim() {
        for (std::string* text : {&line, &header, &body, &detail}) {
            if (text->capacity() > kKeptTextCapacity) {
                std::string().swap(*text);
            }
        }
        if (marks.capacity() > kKeptTextCapacity) {
            std::vector<KnownField>().swap(marks);
        }
        if (lines.capacity() > kKeptFieldCapacity) {
            lines = FieldLines();
        }
        for (PairList* pairs : {&cookies, &postvars, &queryvars}) {
            pairs->trim(kKeptPairCapacity, kKeptNameBytes);
        }
        // Folded lines are copies: none outlives its request.
        parsed.clear();
        if (parsed.fields().capacity() > kKeptFieldCapacity) {
            parsed = PFHeader();
        }
    }
};

StreamTexts& workerTexts() {
    thread_local StreamTexts texts;
    return texts;
}

// The steps of one complete request, in the order its values are checked.
class RequestSteps {
public:
    RequestSteps(HttpFilter& filter, RequestValues& values, DetailRecord& detail)
        : m_filter(filter), m_values(values), m_detail(detail), m_check(filter, values),
          m_useUtf8(filter.settings().getUseUtf8()), m_texts(workerTexts()) {
        m_texts.lines.clear();
    }
    ~RequestSteps() { m_texts.trim(); }
    RequestSteps(const RequestSteps&) = delete;
    RequestSteps& operator=(const RequestSteps&) = delete;

    Flow requestLine(ProtocolFilters::ObjectStream* stream) {
        OST_TRACE("id=%" PRIu64 ",new request.", m_values.id);
        std::string& text = m_texts.line;
        readStream(stream, text);
        m_detail.addRequestLine(text);
        RequestLine& line = m_values.line;
        splitRequestLine(text, line);
        if (line.method.empty()) {
            line.method = "null";
        }
        OST_TRACE("method=%s \n", line.method.c_str());
        if (line.url.empty()) {
            line.url = "null";
        }
        OST_TRACE("url=%s \n", line.url.c_str());
        const Flow flow = requestLineLists(m_filter, m_values, kCompleteEvent);
        if (flow == Flow::GoOn) {
            OST_TRACE("httpver=%s \n", line.httpver.c_str());
        }
        return flow;
    }

    Flow headers(ProtocolFilters::ObjectStream* stream) {
        if (stream == nullptr) {
            return Flow::GoOn;
        }
        std::string& data = m_texts.header;
        readStream(stream, data);
        OST_TRACE("size of headerdata=%zu \n", data.size());
        m_detail.addHeader(data);
        if (data.empty()) {
            return Flow::GoOn;
        }
        PFHeader& header = m_texts.parsed;
        header.parseHeaderView(data);
        const MarkedFields fields(header, m_texts.marks);
        const Flow flow = headerValues(fields);
        if (flow == Flow::GoOn) {
            cookies(fields);
        }
        return flow;
    }

    void body(ProtocolFilters::ObjectStream* stream) {
        if (m_values.multipart || stream == nullptr || stream->size() == 0) {
            return;
        }
        readStream(stream, m_texts.body);
        m_values.postdata = m_texts.body;
        OST_TRACE("size of postdata=%zu \n", m_values.postdata.size());
        m_detail.addBody(m_values.postdata);
        PairList& pairs = m_texts.postvars;
        m_filter.rules().parseQuery(m_values.postdata, m_useUtf8, pairs);
        OST_TRACE("var count of postdata=%zu\n", pairs.size());
        m_check.variables(pairs, positions::kPost);
    }

    void remainingValues() {
        RequestValues& v = m_values;
        m_check.value(positions::kMethod, v.line.method);
        m_check.value(positions::kUrl, v.line.url);
        OST_TRACE("querystring=%.*s \n", traceLength(v.line.querystring),
                  v.line.querystring.data());
        PairList& pairs = m_texts.queryvars;
        m_filter.rules().parseQuery(v.line.querystring, m_useUtf8, pairs);
        OST_TRACE("var count of querystring=%zu\n", pairs.size());
        m_check.variables(pairs, positions::kQuery);
        m_check.value(positions::kVersion, v.line.httpver);
        const FieldLines& lines = m_texts.lines;
        m_check.values(positions::kReferer, lines.referer);
        m_check.values(positions::kCip, lines.cip);
        m_check.values(positions::kAgent, lines.agent);
        m_check.value(positions::kHost, v.host);
        m_check.values(positions::kProxy, lines.proxy);
        m_check.values(positions::kAlan, lines.alan);
        m_check.finish();
    }

private:
    Flow headerValues(const MarkedFields& header) {
        RequestValues& v = m_values;
        takeHeader(header, KnownField::ContentType, "contenttype=", v.contenttype);
        if (multipartBody(header)) {
            v.multipart = true;
            const size_t equals = v.contenttype.find('=');
            const std::string_view boundary = equals == std::string_view::npos
                                                  ? std::string_view()
                                                  : v.contenttype.substr(equals + 1);
            OST_TRACE("multipart type,boundary=%.*s\n", traceLength(boundary), boundary.data());
        }
        FieldLines& lines = m_texts.lines;
        takeHeaderLines(header, KnownField::Referer, "referer=", lines.referer);
        takeHeaderLines(header, KnownField::UserAgent, "user-agent=", lines.agent);
        takeHeader(header, KnownField::Host, "host=", v.host);
        const Flow flow = listCheck(m_filter, v, kCompleteEvent, "host", v.host, WL_HOST, BL_HOST);
        if (flow != Flow::GoOn) {
            return flow;
        }
        if (v.host.empty()) {
            v.host = "null";
        }
        proxyValues(header);
        takeHeaderLines(header, KnownField::ClientIp, "clientip=", lines.cip);
        takeHeaderLines(header, KnownField::AcceptLanguage, "alan=", lines.alan);
        return Flow::GoOn;
    }

    // The forwarding header under both its names; an empty line of the first
    // name gives way to the second, as a single field does.
    void proxyValues(const MarkedFields& header) {
        FieldValues& proxy = m_texts.lines.proxy;
        takeHeaderLines(header, KnownField::ForwardedFor, "proxy=", proxy);
        std::erase_if(proxy, [](std::string_view value) { return value.empty(); });
        takeHeaderLines(header, KnownField::XForwardedFor, "proxy=", proxy);
    }

    // Some proxies split the cookies over several lines; the pairs of each
    // line are inspected.
    void cookies(const MarkedFields& header) {
        PairList& all = m_texts.cookies;
        all.clear();
        PairList line;
        header.forEachValue(KnownField::Cookie, [&](std::string_view cookie) {
            OST_TRACE("cookie=%.*s \n", traceLength(cookie), cookie.data());
            // The first line's pairs go straight in: most requests have one.
            PairList& into = all.empty() ? all : line;
            m_filter.rules().parseCookie(cookie, m_useUtf8, into);
            if (&into == &line) {
                all.append(line);
            }
        });
        if (header.first(KnownField::Cookie) != nullptr) {
            OST_TRACE("var count of cookies=%zu\n", all.size());
            m_check.variables(all, positions::kCookie);
        }
    }

    HttpFilter& m_filter;
    RequestValues& m_values;
    DetailRecord& m_detail;
    ValueCheck m_check;
    const bool m_useUtf8;
    StreamTexts& m_texts;
};

// The early list checks; a header that cannot be read decides nothing.
Flow partialLists(HttpFilter& filter, RequestValues& values, ProtocolFilters::PFObject& object) {
    if (ProtocolFilters::ObjectStream* stream = object.getStream(HS_REQUEST_LINE)) {
        std::string& text = workerTexts().line;
        readStream(stream, text);
        splitRequestLine(text, values.line);
        if (values.line.url.empty()) {
            values.line.url = "null";
        }
        OST_TRACE("dataPartAvailable, url=%s \n", values.line.url.c_str());
        const Flow flow = requestLineLists(filter, values, kPartialEvent);
        if (flow != Flow::GoOn) {
            return flow;
        }
    }
    PFHeader header;
    if (!readHeader(object.getStream(HS_HEADER), &header)) {
        return Flow::GoOn;
    }
    const PFHeader::Field* host = header.findFirstField("Host");
    return host == nullptr
               ? Flow::GoOn
               : listCheck(filter, values, kPartialEvent, "host", host->second, WL_HOST, BL_HOST);
}

// What the library is to hold: request line, headers and body together.
uint64_t heldSize(ProtocolFilters::PFObject& object) {
    uint64_t total = 0;
    for (const int index : {HS_REQUEST_LINE, HS_HEADER, HS_CONTENT}) {
        if (ProtocolFilters::ObjectStream* stream = object.getStream(index)) {
            total = saturatingAdd(total, stream->size());
        }
    }
    return total;
}

int partialVerdict(Flow flow) {
    return flow == Flow::PassOn ? DPCR_BYPASS : DPCR_BLOCK;
}

// False when a list closed the connection: the request is then dropped. An
// object without a request line is passed on, so that nothing waits for it.
bool inspect(HttpFilter& filter, ProtocolFilters::PFObject& object, RequestValues& values,
             DetailRecord& detail) {
    ProtocolFilters::ObjectStream* line = object.getStream(HS_REQUEST_LINE);
    if (line == nullptr) {
        OST_TRACE_TEXT("dataAvailable, no request line,passby the data!\n");
        return true;
    }
    RequestSteps steps(filter, values, detail);
    Flow flow = steps.requestLine(line);
    if (flow == Flow::GoOn) {
        flow = steps.headers(object.getStream(HS_HEADER));
    }
    if (flow != Flow::GoOn) {
        return flow == Flow::PassOn;
    }
    steps.body(object.getStream(HS_CONTENT));
    steps.remainingValues();
    OST_TRACE_TEXT("new request end.");
    if (detail.enabled()) {
        filter.writeDetailLog(detail.text());
    }
    return true;
}

} // namespace

int HttpFilter::dataPartAvailable(uint64_t id, ProtocolFilters::PFObject* object) {
    if (object == nullptr || object->getType() != OT_HTTP_REQUEST) {
        return DPCR_BYPASS;
    }
    // Without entries in the lists asked here the checks find nothing: the
    // event then costs no lock and no read, unless the trace is to tell it.
    if (platform::traceEnabled() ||
        anyListInUse({WL_URL, BL_URL, WL_EXT, BL_EXT, WL_HOST, BL_HOST})) {
        RequestValues values;
        values.id = id;
        values.clientip.clear();
        {
            std::lock_guard<Mutex> guard(maplock);
            const auto found = ip2map.find(id);
            if (found != ip2map.end()) {
                values.clientip = found->second.clientip;
            }
        }
        const Flow flow = partialLists(*this, values, *object);
        if (flow != Flow::GoOn) {
            return partialVerdict(flow);
        }
    }
    const uint64_t total = heldSize(*object);
    if (total > kHeldRequestMax) {
        return DPCR_BYPASS;
    }
    OST_TRACE("data available partly. received size=%" PRIu64, total);
    return DPCR_FILTER;
}

void HttpFilter::dataAvailable(uint64_t id, ProtocolFilters::PFObject* object) {
    if (object == nullptr) {
        return;
    }
    const int type = object->getType();
    if (type != OT_HTTP_REQUEST) {
        OST_TRACE("dataAvailable, object->getType()=%d", type);
        if (type == OT_TCP_DISCONNECT_LOCAL || type == OT_TCP_DISCONNECT_REMOTE) {
            forgetConnection(id, CloseEvent::DisconnectNotice);
        }
        ProtocolFilters::pf_postObject(id, object);
        return;
    }
    const uint32_t count = requestcount.fetch_add(1, std::memory_order_relaxed) + 1;
    OST_TRACE("count of received http packet %u", count);
    RequestValues values;
    values.id = id;
    {
        std::lock_guard<Mutex> guard(maplock);
        const auto found = ip2map.find(id);
        if (found != ip2map.end()) {
            const connrecord& record = found->second;
            values.clientip = record.clientip;
            values.clientport = record.clientport;
            values.serverip = record.serverip;
            values.serverport = record.serverport;
        }
    }
    DetailRecord detail(m_config.getWriteDetaillog(), workerTexts().detail);
    detail.begin(values);
    if (inspect(*this, *object, values, detail)) {
        ProtocolFilters::pf_postObject(id, object);
    }
}

} // namespace ostrum
