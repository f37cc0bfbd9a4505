#include "service/decoders.h"
#include "service/engine.h"
#include "service/trace.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cctype>
#include <cstdint>
#include <mutex>
#include <optional>

namespace ostrum {
namespace {

using Groups = std::vector<std::string_view>;

// Each grammar is compiled on first use and must span the whole line. A line
// that runs into the match limit is refused like one that does not match.
bool wholeMatch(const std::shared_ptr<const RegexPattern>& grammar, std::string_view line,
                Groups& groups) {
    return grammar != nullptr && grammar->capture(line, groups) == MatchResult::Match;
}

std::shared_ptr<const RegexPattern> wholeLine(std::string_view pattern) {
    return RegexPattern::compile(pattern, RegexPattern::Mode::WholeLine);
}

const std::shared_ptr<const RegexPattern>& rawRuleGrammar() {
    static const auto grammar = wholeLine(R"re(RAWRULE\s+"(.*),(.*),(.*),(.*),(.*)"\s+"(.+)")re");
    return grammar;
}

const std::shared_ptr<const RegexPattern>& jipTypeGrammar() {
    static const auto grammar = wholeLine(R"re(JIPTYPE\s+(.*)\s+"(.*)")re");
    return grammar;
}

const std::shared_ptr<const RegexPattern>& jipRuleGrammar() {
    static const auto grammar = wholeLine(R"re(JIPRULE\s+(\d+)\s+(.*)\s+(.*)::(\d+)-(\d+))re");
    return grammar;
}

const std::shared_ptr<const RegexPattern>& connLimitGrammar() {
    static const auto grammar = wholeLine(R"re(CONNLIMIT\s+(.+)\s+(.+)\s+(.+))re");
    return grammar;
}

const std::shared_ptr<const RegexPattern>& addressPairGrammar() {
    static const auto grammar = wholeLine(R"re((.+)-(.+))re");
    return grammar;
}

void traceRefusal(const char* reason, std::string_view line) {
    OST_TRACE_TEXT(reason);
    OST_TRACE_TEXT(line);
    OST_TRACE_TEXT("\n");
}

bool isBlank(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// What stream extraction reads at the start of the text: blanks, a sign,
// digits up to the first other character. Nothing when no digit follows or
// the number leaves [low, high]; such a line is refused, never clamped.
std::optional<int64_t> readNumber(std::string_view text, int64_t low, int64_t high) {
    size_t i = 0;
    while (i < text.size() && isBlank(text[i])) {
        ++i;
    }
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        ++i;
    }
    const size_t firstDigit = i;
    constexpr int64_t kBeyondAnyBound = int64_t(1) << 40;
    int64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = std::min(magnitude * 10 + (text[i] - '0'), kBeyondAnyBound);
    }
    if (i == firstDigit) {
        return std::nullopt;
    }
    const int64_t value = negative ? -magnitude : magnitude;
    if (value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<int32_t> readId(std::string_view text) {
    const auto value = readNumber(text, INT32_MIN, INT32_MAX);
    return value ? std::optional<int32_t>(int32_t(*value)) : std::nullopt;
}

std::optional<uint32_t> readUnsigned(std::string_view text) {
    const auto value = readNumber(text, 0, UINT32_MAX);
    return value ? std::optional<uint32_t>(uint32_t(*value)) : std::nullopt;
}

// A dotted IPv4 address in host byte order; the text ends at its first blank.
std::optional<uint32_t> hostOrderAddress(std::string_view text) {
    size_t end = 0;
    while (end < text.size() && !isBlank(text[end])) {
        ++end;
    }
    const std::string address(text.substr(0, end));
    in_addr converted{};
    if (inet_pton(AF_INET, address.c_str(), &converted) != 1) {
        return std::nullopt;
    }
    return ntohl(converted.s_addr);
}

// Enough of a field for a trace line, which holds 511 characters anyway.
std::string_view printable(std::string_view text) {
    return text.substr(0, 400);
}

} // namespace

std::string trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && isBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && isBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

bool engine::addrulestr(const std::string& line) {
    Groups g;
    if (!wholeMatch(rawRuleGrammar(), line, g)) {
        traceRefusal("addrulestr Error(regex match):", line);
        return false;
    }
    const std::optional<int32_t> id = readId(g[0]);
    if (!id || *id <= 0) {
        traceRefusal("addrulestr Error - bad id !:", line);
        return false;
    }
    rulenode rule;
    const bool usable = rule.set(*id, rule.parseTar(std::string(g[1])),
                                 rule.parseTra(std::string(g[2])), rule.parseCm(std::string(g[3])),
                                 rule.parseHd(std::string(g[4])), std::string(g[5]));
    if (!usable) {
        return false;
    }
    rulelist.push_back(rule);
    indexRule(rulelist.size() - 1);
    OST_TRACE("id=%d,tar=%d,tra=%d,cm=%d,hd=%d,pat=%s", rule.id, rule.tar, rule.tra, rule.cm,
              rule.hd, rule.pat.c_str());
    return true;
}

bool engine::addjiptypestr(const std::string& line) {
    Groups g;
    if (!wholeMatch(jipTypeGrammar(), line, g)) {
        traceRefusal("addjiptypestr Error(regex match):", line);
        return false;
    }
    const std::string name(g[0]);
    const std::string pattern(g[1]);
    OST_TRACE("tname=%s,pat=%s,", name.c_str(), pattern.c_str());
    return addSafestrTypeRule(name, pattern);
}

bool engine::addjiprulestr(const std::string& line) {
    Groups g;
    if (!wholeMatch(jipRuleGrammar(), line, g)) {
        traceRefusal("addjiprulestr Error(regex match):", line);
        return false;
    }
    const std::optional<int32_t> id = readId(g[0]);
    const std::optional<uint32_t> minlen = readUnsigned(g[3]);
    const std::optional<uint32_t> maxlen = readUnsigned(g[4]);
    if (!id || !minlen || !maxlen) {
        traceRefusal("addjiprulestr Error(regex match):", line);
        return false;
    }
    std::string key = trim(g[1]);
    toLower(key);
    const std::string type(g[2]);
    OST_TRACE("id=%d,key=%s,type=%s,minlen=%u,maxlen=%u", *id, key.c_str(), type.c_str(), *minlen,
              *maxlen);
    constraint& entry = constraintmap[key];
    entry.minlen = *minlen;
    entry.maxlen = *maxlen;
    entry.items.push_back(constraintitem{*id, type});
    return true;
}

bool engine::addiprangestr(const std::string& line) {
    Groups g;
    if (!wholeMatch(connLimitGrammar(), line, g)) {
        traceRefusal("addiprangestr Error(regex match):", line);
        return false;
    }
    const std::optional<uint32_t> maxconn = readUnsigned(g[0]);
    if (!maxconn || *maxconn == 0) {
        traceRefusal("addiprangestr Error(maxconn=0):", line);
        return false;
    }
    OST_TRACE("maxconn=%u,ips=%.*s,name=%.*s", *maxconn, int(printable(g[1]).size()),
              printable(g[1]).data(), int(printable(g[2]).size()), printable(g[2]).data());
    iprange range;
    range.maxconn = *maxconn;
    range.name = std::string(g[2]);
    std::vector<std::string> items;
    splitString(g[1], ',', items);
    Groups ends;
    for (const std::string& item : items) {
        if (!wholeMatch(addressPairGrammar(), item, ends)) {
            continue;
        }
        const std::optional<uint32_t> start = hostOrderAddress(ends[0]);
        const std::optional<uint32_t> end = hostOrderAddress(ends[1]);
        if (!start || !end) {
            traceRefusal("addiprangestr Error(bad address):", line);
            continue;
        }
        OST_TRACE("(sip=%.*s,eip=%.*s,_lsip=%u,_leip=%u),", int(printable(ends[0]).size()),
                  ends[0].data(), int(printable(ends[1]).size()), ends[1].data(), *start, *end);
        if (*end < *start) {
            traceRefusal("addiprangestr Error(endip<startip):", line);
            continue;
        }
        range.addSegment(ipsegment{*start, *end});
    }
    std::lock_guard<Mutex> guard(rangelock);
    iprangelist.push_back(std::move(range));
    return true;
}

} // namespace ostrum
