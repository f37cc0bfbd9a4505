#include "service/value_check.h"

#include "service/http_filter.h"
#include "service/trace.h"

namespace ostrum {

ValueCheck::ValueCheck(HttpFilter& filter, RequestValues& values)
    : m_filter(filter), m_values(values), m_useUtf8(filter.settings().getUseUtf8()) {}

// The values of a list meet the rules in one scan, then take their
// verdicts in order.
void ValueCheck::variables(const PairList& pairs, const CheckPosition& position) {
    thread_local std::vector<rulematch> matches;
    m_filter.rules().matchRulesList(position.code, pairs, m_useUtf8, matches);
    for (size_t i = 0; i < pairs.size(); ++i) {
        const auto& [name, text] = pairs[i];
        OST_TRACE("var_name=%.*s,var_value=%.*s\n", traceLength(name), name.data(),
                  traceLength(text), text.data());
        verdict(position, name, text, matches[i]);
    }
}

void ValueCheck::value(const CheckPosition& position, std::string_view text) {
    check(position, position.param, text);
}

void ValueCheck::values(const CheckPosition& position, const FieldValues& texts) {
    if (texts.empty()) {
        value(position, {});
    }
    for (const std::string_view text : texts) {
        value(position, text);
    }
}

void ValueCheck::check(const CheckPosition& position, std::string_view param,
                       std::string_view text) {
    verdict(position, param, text, m_filter.rules().matchRules(position.code, text, m_useUtf8));
}

void ValueCheck::verdict(const CheckPosition& position, std::string_view param,
                         std::string_view text, const rulematch& match) {
    if (match.hit == 1) {
        attackRuleHit(position, match);
    } else if (position.patchLetter != 0) {
        patchRuleCheck(position, param, text);
    }
}

bool ValueCheck::closeOnHit() {
    if (m_filter.recordAttack(m_values.clientip) != 1) {
        return false;
    }
    OST_TRACE_TEXT("action block!\n");
    nfapi::nf_tcpClose(m_values.id);
    return true;
}

void ValueCheck::attackRuleHit(const CheckPosition& position, const rulematch& match) {
    m_values.action = "log";
    if (match.hd == HD_BLOCK && closeOnHit()) {
        m_values.action.append("|block");
    }
    record(position.label, "AR:", match.id);
}

// A patch hit that closed nothing is written "log": the console reads the
// action as one word.
void ValueCheck::patchRuleCheck(const CheckPosition& position, std::string_view param,
                                std::string_view text) {
    engine& rules = m_filter.rules();
    if (!rules.constraints().empty()) {
        const int32_t failed = rules.checkParamKey(keys().key(position.patchLetter, param), text);
        if (failed != 0) {
            m_values.action = closeOnHit() ? "block" : "log";
            record(position.patchLabel, "PR:", failed);
        }
    }
    config& settings = m_filter.settings();
    if (settings.getSelfLearn() && settings.getRunMod() == 0) {
        learn(position, param, text);
    }
}

void ValueCheck::learn(const CheckPosition& position, std::string_view param,
                       std::string_view text) {
    const LearnResult result = m_filter.rules().selflearnKey(
        keys().key(position.learnLetter, param), text, m_filter.settings().getSelfLearnMaxCount());
    if (result == LearnResult::KeyTooLong) {
        m_filter.writeMainLog("self_learn: keys longer than " + std::to_string(kLearnKeyLengthMax) +
                              " bytes are not learned");
    } else if (result == LearnResult::TooManyKeys) {
        m_filter.writeMainLog("self_learn: " + std::to_string(kLearnKeysMax) +
                              " keys reached, new keys are not learned");
    }
}

ParamKeyBuilder& ValueCheck::keys() {
    if (!m_keys) {
        const RequestValues& v = m_values;
        m_keys.emplace(v.host, v.serverport, v.line.url);
    }
    return *m_keys;
}

void ValueCheck::record(std::string_view label, std::string_view kind, int32_t ruleId) {
    if (++m_records > kRecordsPerRequestMax) {
        OST_TRACE("attack record %zu of the request not written", m_records);
        return;
    }
    const std::string text = attackRecord(m_values, label, kind, ruleId);
    OST_TRACE_TEXT(text);
    m_filter.writeAttackLog(text);
}

void ValueCheck::finish() {
    if (m_records > kRecordsPerRequestMax) {
        m_filter.writeMainLog(
            m_values.clientip + " " + std::to_string(m_records - kRecordsPerRequestMax) + " of " +
            std::to_string(m_records) + " hits of one request not written to the attack log");
    }
}

} // namespace ostrum
