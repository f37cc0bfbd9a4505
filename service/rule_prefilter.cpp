#include "service/rule_prefilter.h"

#include "service/trace.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>
#include <hs/hs.h>
#include <string>

namespace ostrum {
namespace {

// A pattern of one rule for the scanner, and the rule it stands for.
struct Expression {
    std::string text;
    unsigned flags;
    unsigned rule;
};

// A find rule's text as an expression that matches exactly that text.
std::string literalExpression(std::string_view text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size() * 4);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    return out;
}

// Whether the scanner takes the rule at all: a !regex rule fires when its
// pattern does not match, which no scan can tell, and the scanner reads
// patterns as C strings.
bool scannable(const rulenode& rule) {
    if (rule.cm == CM_FIND) {
        return true;
    }
    return rule.cm == CM_REGEX && rule.compiled != nullptr &&
           rule.pat.find('\0') == std::string::npos;
}

Expression expressionOf(const rulenode& rule, unsigned index) {
    if (rule.cm == CM_FIND) {
        return {literalExpression(rule.pat), HS_FLAG_SINGLEMATCH, index};
    }
    // Prefilter mode: a superset of the pattern's matches for every pattern
    // the scanner can read, confirmed by the pattern itself.
    return {rule.pat, HS_FLAG_PREFILTER | HS_FLAG_SINGLEMATCH | HS_FLAG_ALLOWEMPTY, index};
}

// Compiles the expressions into `database` (null when the scanner refused
// them all), dropping each one it refuses into `refused`; false when the
// scanner fails as a whole.
bool compileAll(std::vector<Expression> expressions, hs_database_t*& database,
                std::vector<unsigned>& refused) {
    database = nullptr;
    while (!expressions.empty()) {
        std::vector<const char*> texts;
        std::vector<unsigned> flags;
        std::vector<unsigned> ids;
        for (const Expression& e : expressions) {
            texts.push_back(e.text.c_str());
            flags.push_back(e.flags);
            ids.push_back(e.rule);
        }
        hs_compile_error_t* error = nullptr;
        const hs_error_t rc =
            hs_compile_multi(texts.data(), flags.data(), ids.data(), unsigned(texts.size()),
                             HS_MODE_BLOCK, nullptr, &database, &error);
        if (rc == HS_SUCCESS) {
            return true;
        }
        const int failed = error != nullptr ? error->expression : -1;
        OST_TRACE("prefilter: pattern %d refused: %s", failed,
                  error != nullptr ? error->message : "?");
        hs_free_compile_error(error);
        database = nullptr;
        if (failed < 0 || size_t(failed) >= expressions.size()) {
            return false;
        }
        refused.push_back(expressions[size_t(failed)].rule);
        expressions.erase(expressions.begin() + failed);
    }
    return true;
}

std::atomic<uint64_t> g_generation{0};

// The scanner's scratch space of one thread, fitted to the last prefilter
// the thread used.
struct ThreadScratch {
    hs_scratch_t* scratch = nullptr;
    uint64_t fittedTo = 0;
    ~ThreadScratch() { hs_free_scratch(scratch); }
};

thread_local ThreadScratch t_scratch;

int collect(unsigned int id, unsigned long long, unsigned long long, unsigned int,
            void* context) {
    static_cast<std::vector<uint32_t>*>(context)->push_back(id);
    return 0;
}

} // namespace

std::unique_ptr<RulePrefilter> RulePrefilter::build(const std::vector<rulenode>& rules) {
    if (hs_valid_platform() != HS_SUCCESS || rules.empty()) {
        return nullptr;
    }
    std::unique_ptr<RulePrefilter> prefilter(new RulePrefilter());
    std::vector<unsigned> always;
    for (unsigned i = 0; i < rules.size(); ++i) {
        if (!scannable(rules[i])) {
            always.push_back(i);
        }
    }
    for (int32_t code = 0; code < kPositionCount; ++code) {
        std::vector<unsigned> members;
        for (unsigned i = 0; i < rules.size(); ++i) {
            if (rules[i].tar == code) {
                members.push_back(i);
            }
        }
        if (members.empty()) {
            continue;
        }
        if (!prefilter->addSet(rules, members, always)) {
            return nullptr;
        }
        const auto set = uint8_t(prefilter->m_sets.size() - 1);
        for (int32_t position = 0; position < kPositionCount; ++position) {
            if (rules[members[0]].appliesTo(position)) {
                prefilter->m_setsOf[size_t(position)].push_back(set);
            }
        }
    }
    for (int32_t position = 0; position < kPositionCount; ++position) {
        for (const rulenode& rule : rules) {
            prefilter->m_needsNormal[size_t(position)] |=
                rule.tra == TRA_NORMAL && rule.appliesTo(position);
        }
    }
    std::sort(always.begin(), always.end());
    always.erase(std::unique(always.begin(), always.end()), always.end());
    prefilter->m_alwaysCount = always.size();
    for (int32_t position = 0; position < kPositionCount; ++position) {
        for (const unsigned i : always) {
            if (rules[i].appliesTo(position)) {
                prefilter->m_always[size_t(position)].push_back(i);
            }
        }
    }
    prefilter->m_generation = ++g_generation;
    return prefilter;
}

bool RulePrefilter::addSet(const std::vector<rulenode>& rules,
                           const std::vector<unsigned>& members, std::vector<unsigned>& refused) {
    std::vector<Expression> raw;
    std::vector<Expression> normal;
    for (const unsigned i : members) {
        if (scannable(rules[i])) {
            (rules[i].tra == TRA_NORMAL ? normal : raw).push_back(expressionOf(rules[i], i));
        }
    }
    Databases& set = m_sets.emplace_back();
    return compileAll(std::move(raw), set.raw, refused) &&
           compileAll(std::move(normal), set.normal, refused);
}

RulePrefilter::~RulePrefilter() {
    for (const Databases& set : m_sets) {
        hs_free_database(set.raw);
        hs_free_database(set.normal);
    }
}

bool RulePrefilter::fitScratch() const {
    if (t_scratch.fittedTo == m_generation) {
        return true;
    }
    for (const Databases& set : m_sets) {
        for (const hs_database_t* database : {set.raw, set.normal}) {
            if (database != nullptr && hs_alloc_scratch(database, &t_scratch.scratch) != HS_SUCCESS) {
                t_scratch.fittedTo = 0;
                return false;
            }
        }
    }
    t_scratch.fittedTo = m_generation;
    return true;
}

bool RulePrefilter::candidates(int32_t position, std::string_view raw, std::string_view normal,
                               std::vector<uint32_t>& out) const {
    out.clear();
    if (!fitScratch()) {
        return false;
    }
    for (const uint8_t i : m_setsOf[index(position)]) {
        const Databases& set = m_sets[i];
        if (!scan(set.raw, raw, out) || (needsNormal(position) && !scan(set.normal, normal, out))) {
            return false;
        }
    }
    const std::vector<uint32_t>& always = m_always[index(position)];
    out.insert(out.end(), always.begin(), always.end());
    if (out.size() > 1) {
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
    return true;
}

bool RulePrefilter::scan(const hs_database* database, std::string_view value,
                         std::vector<uint32_t>& out) const {
    if (database == nullptr) {
        return true;
    }
    if (value.size() > std::numeric_limits<unsigned>::max()) {
        return false;
    }
    const hs_error_t rc = hs_scan(database, value.data(), unsigned(value.size()), 0,
                                  t_scratch.scratch, collect, &out);
    return rc == HS_SUCCESS;
}

} // namespace ostrum
