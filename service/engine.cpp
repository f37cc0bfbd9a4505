#include "service/engine.h"

#include "service/dates.h"
#include "service/decoders.h"
#include "service/trace.h"
#include "service/verdict_cache.h"

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
    m_prefilterStale = true;
}

// Rules change only while the filter starts, before requests flow; the
// first match afterwards builds the prefilter once for every thread.
const RulePrefilter* engine::prefilter() {
    if (m_prefilterStale.load(std::memory_order_acquire)) {
        const std::lock_guard<std::mutex> guard(m_prefilterLock);
        if (m_prefilterStale.load(std::memory_order_relaxed)) {
            m_prefilter = RulePrefilter::build(rulelist);
            OST_TRACE("rule prefilter: %s, %zu of %zu rules always confirmed",
                      m_prefilter != nullptr ? "on" : "off",
                      m_prefilter != nullptr ? m_prefilter->alwaysConfirmedCount() : rulelist.size(),
                      rulelist.size());
            m_prefilterStale.store(false, std::memory_order_release);
        }
    }
    return m_prefilter.get();
}

// Only the rules that the prefilter names are confirmed, in file order, so
// the first rule that fires is the same as in a walk over every rule. Most
// values are their own normal form; one scan then serves both transforms.
rulematch engine::matchRules(int32_t position, std::string_view value, bool useUtf8) {
    const RulePrefilter* filter = value.empty() ? nullptr : prefilter();
    if (filter == nullptr) {
        return matchRulesOneByOne(position, value, useUtf8);
    }
    thread_local VerdictCache cleanValues;
    const bool kept = VerdictCache::covers(position);
    if (kept && cleanValues.knownClean(filter->generation(), position, useUtf8, value)) {
        return {};
    }
    thread_local MatchBuffers buffers;
    std::string_view normal = value;
    bool same = true;
    if (filter->needsNormal(position) && !normalFormKeeps(value, useUtf8)) {
        normalForm(value, useUtf8, buffers.normal);
        same = buffers.normal == value;
        normal = same ? value : std::string_view(buffers.normal);
    }
    std::vector<uint32_t>& candidates = buffers.candidates;
    const bool scanned = same ? filter->candidates(position, value, candidates)
                              : filter->candidates(position, value, normal, candidates);
    if (!scanned) {
        return matchRulesOneByOne(position, value, useUtf8);
    }
    for (const uint32_t index : candidates) {
        rulenode& rule = rulelist[index];
        if (rule.compare(rule.tra == TRA_NORMAL ? normal : value)) {
            return {1, rule.getId(), rule.getHd()};
        }
    }
    if (kept) {
        cleanValues.rememberClean(filter->generation(), position, useUtf8, value);
    }
    return {};
}

// Rules only ever carry position codes 0..13, so any other position meets
// exactly the rules of position "any".
rulematch engine::matchRulesOneByOne(int32_t position, std::string_view value, bool useUtf8) {
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
