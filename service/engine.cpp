#include "service/engine.h"

#include "service/dates.h"
#include "service/decoders.h"
#include "service/trace.h"

#include <cstdarg>

namespace ostrum {

engine::engine() {
    OST_TRACE_TEXT("engin constuct");
    registerBuiltinTypes();
}

engine::~engine() {
    OST_TRACE_TEXT("engin destoried");
}

void engine::indexRule(size_t index) {
    const rulenode& rule = rulelist[index];
    for (int32_t position = 0; position < kPositionCount; ++position) {
        if (rule.appliesTo(position)) {
            m_rulesByPosition[size_t(position)].push_back(uint32_t(index));
        }
    }
}

// Rules only ever carry position codes 0..13, so any other position meets
// exactly the rules of position "any".
rulematch engine::matchRules(int32_t position, std::string_view value, bool useUtf8) {
    if (value.empty()) {
        return {};
    }
    const bool known = position >= 0 && position < kPositionCount;
    const std::vector<uint32_t>& candidates = m_rulesByPosition[known ? size_t(position) : 0];
    thread_local std::string normal;
    bool normalReady = false;
    for (const uint32_t index : candidates) {
        rulenode& rule = rulelist[index];
        std::string_view seen = value;
        if (rule.tra == TRA_NORMAL) {
            if (!normalReady) {
                normalForm(value, useUtf8, normal);
                normalReady = true;
            }
            seen = normal;
        }
        if (rule.compare(seen)) {
            return {1, rule.getId(), rule.getHd()};
        }
    }
    return {};
}

std::string engine::decodeLower(std::string_view value) {
    return ostrum::decodeLower(value);
}

std::string engine::todayString() {
    return ostrum::todayString();
}

std::string engine::formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string text = vformatString(format, args);
    va_end(args);
    return text;
}

} // namespace ostrum
