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
                      m_prefilter != nullptr ? m_prefilter->alwaysConfirmedCount()
                                             : rulelist.size(),
                      rulelist.size());
            m_prefilterStale.store(false, std::memory_order_release);
        }
    }
    return m_prefilter.get();
}

rulematch engine::matchRules(int32_t position, std::string_view value, bool useUtf8) {
    rulematch match;
    matchValues(position, std::span(&value, 1), useUtf8, std::span(&match, 1));
    return match;
}

void engine::matchRulesList(int32_t position, const PairList& pairs, bool useUtf8,
                            std::vector<rulematch>& out) {
    thread_local std::vector<std::string_view> texts;
    texts.clear();
    for (const auto& [name, text] : pairs) {
        texts.emplace_back(text);
    }
    out.assign(pairs.size(), rulematch{});
    matchValues(position, texts, useUtf8, out);
}

namespace {
thread_local VerdictCache t_cleanValues;
// The values a thread keeps room for between lists: a form of many more
// fields would otherwise leave its room held by every worker it passed.
constexpr size_t kKeptListValues = 1024;
} // namespace

// Only the rules that the prefilter names are confirmed, in file order, so
// the first rule that fires is the same as in a walk over every rule. Most
// values are their own normal form; one scan then serves both transforms.
// All the values of a list are scanned at once: a scan costs more to start
// than a short value costs to read.
void engine::matchValues(int32_t position, std::span<const std::string_view> values, bool useUtf8,
                         std::span<rulematch> out) {
    const RulePrefilter* filter = prefilter();
    if (filter == nullptr) {
        for (size_t i = 0; i < values.size(); ++i) {
            out[i] = matchRulesOneByOne(position, values[i], useUtf8);
        }
        return;
    }
    thread_local MatchBuffers buffers;
    if (buffers.normals.size() > kKeptListValues && values.size() <= kKeptListValues) {
        buffers = MatchBuffers();
    }
    const bool kept = VerdictCache::covers(position);
    const bool normalNeeded = filter->needsNormal(position);
    if (buffers.normals.size() < values.size()) {
        buffers.normals.resize(values.size());
        buffers.candidates.resize(values.size());
    }
    buffers.values.clear();
    size_t toScan = 0;
    for (size_t i = 0; i < values.size(); ++i) {
        out[i] = {};
        std::string_view value = values[i];
        if (kept && t_cleanValues.knownClean(filter->generation(), position, useUtf8, value)) {
            value = {}; // met no rule before: scanned and confirmed by nothing
        }
        toScan += value.empty() ? 0 : 1;
        RulePrefilter::Value& entry =
            buffers.values.emplace_back(RulePrefilter::Value{value, value, true});
        if (normalNeeded && !value.empty() && !normalFormKeeps(value, useUtf8)) {
            std::string& normal = buffers.normals[i];
            normalForm(value, useUtf8, normal);
            entry.own = normal == value;
            entry.normal = entry.own ? value : std::string_view(normal);
        }
    }
    if (toScan == 0) {
        return;
    }
    const std::span candidates(buffers.candidates.data(), values.size());
    if (!filter->candidatesOfList(position, buffers.values, candidates)) {
        for (size_t i = 0; i < values.size(); ++i) {
            out[i] = matchRulesOneByOne(position, values[i], useUtf8);
        }
        return;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        const RulePrefilter::Value& entry = buffers.values[i];
        if (entry.raw.empty()) {
            continue;
        }
        out[i] = confirm(candidates[i], entry.raw, entry.normal);
        if (kept && out[i].hit == 0) {
            t_cleanValues.rememberClean(filter->generation(), position, useUtf8, entry.raw);
        }
    }
}

rulematch engine::confirm(const std::vector<uint32_t>& candidates, std::string_view value,
                          std::string_view normal) {
    for (const uint32_t index : candidates) {
        rulenode& rule = rulelist[index];
        if (rule.compare(rule.tra == TRA_NORMAL ? normal : value)) {
            return {1, rule.getId(), rule.getHd()};
        }
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
