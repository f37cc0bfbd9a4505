#include "service/http_filter.h"
#include "service/line_reader.h"
#include "service/trace.h"

#include <string_view>

namespace ostrum {
namespace {

// A refused line goes into the run log; a hostile file's megabyte line is cut
// so that one refusal cannot flood it.
constexpr size_t kLoggedLineMax = 4096;

std::string refusal(std::string_view message, const std::string& line) {
    std::string text(message);
    text.append(line, 0, kLoggedLineMax);
    return text;
}

struct RuleLineKind {
    std::string_view keyword;
    bool (engine::*add)(const std::string&);
    std::string_view failure;
};

constexpr RuleLineKind kRuleLineKinds[] = {
    {"RAWRULE", &engine::addrulestr, "load rule faild ! "},
    {"JIPTYPE", &engine::addjiptypestr, "load jiptype faild ! "},
    {"JIPRULE", &engine::addjiprulestr, "load jiprule faild ! "},
};

bool skippedRuleLine(const std::string& line) {
    return line.size() <= 2 || line[0] == '#' || line.starts_with("RULEDESC");
}

} // namespace

int32_t HttpFilter::loadRuleFile(const char* name) {
    return loadRuleFile(std::string(name != nullptr ? name : ""));
}

int32_t HttpFilter::loadRuleFile(const std::string& name) {
    LineReader reader(name);
    if (!reader.isOpen()) {
        OST_TRACE("Failed to open %s !\n", name.c_str());
        return -1;
    }
    std::string line;
    while (reader.next(line)) {
        if (skippedRuleLine(line)) {
            continue;
        }
        OST_TRACE("read %s line: %s\n", name.c_str(), line.c_str());
        if (line.size() <= 7) {
            continue;
        }
        const std::string_view keyword(line.data(), 7);
        for (const RuleLineKind& kind : kRuleLineKinds) {
            if (keyword == kind.keyword) {
                if (!(m_engine.*kind.add)(line)) {
                    writeMainLog(refusal(kind.failure, line));
                }
                break;
            }
        }
    }
    return 0;
}

int32_t HttpFilter::loadIpRange() {
    LineReader reader("iprange.dat");
    if (!reader.isOpen()) {
        OST_TRACE_TEXT("Failed to open iprange.dat !\n");
        return -1;
    }
    std::string line;
    while (reader.next(line)) {
        if (line.size() <= 10 || line[0] == '#') {
            continue;
        }
        OST_TRACE("read iprange.dat line: %s\n", line.c_str());
        if (line.starts_with("CONNLIMIT") && !m_engine.addiprangestr(line)) {
            writeMainLog(refusal("load iprange faild ! ", line));
        }
    }
    return 0;
}

} // namespace ostrum
