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
bool compileExpressions(std::vector<Expression> expressions, hs_database_t*& database,
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

bool contains(const std::vector<unsigned>& list, unsigned value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The scannable rules that pass `take` and are not refused yet.
template <typename Take>
std::vector<unsigned> membersOf(const std::vector<rulenode>& rules, Take take,
                                const std::vector<unsigned>& refused) {
    std::vector<unsigned> members;
    for (unsigned i = 0; i < rules.size(); ++i) {
        if (take(rules[i]) && scannable(rules[i]) && !contains(refused, i)) {
            members.push_back(i);
        }
    }
    return members;
}

// Compiles the members; false when the scanner fails as a whole.
bool compileRules(const std::vector<rulenode>& rules, const std::vector<unsigned>& members,
                  hs_database_t*& database, std::vector<unsigned>& refused) {
    std::vector<Expression> expressions;
    for (const unsigned i : members) {
        expressions.push_back(expressionOf(rules[i], i));
    }
    return compileExpressions(std::move(expressions), database, refused);
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

// The share of all the rules of a kind from which a position scans the
// database of them all: its own would save little scanning and cost a
// compile as long.
struct Share {
    size_t numerator;
    size_t denominator;
};
constexpr Share kSharedShare{3, 4};

// A rule's mask: a bit per position it applies to.
uint32_t positionBit(int32_t position) {
    return uint32_t(1) << position;
}

uint32_t maskOf(const rulenode& rule) {
    uint32_t mask = 0;
    for (int32_t position = 0; position < kPositionCount; ++position) {
        mask |= rule.appliesTo(position) ? positionBit(position) : 0;
    }
    return mask;
}

struct ScanContext {
    const uint32_t* masks;
    uint32_t position;
    std::vector<uint32_t>* out;
};

int collect(unsigned int id, unsigned long long, unsigned long long, unsigned int,
            void* context) {
    const auto& scan = *static_cast<const ScanContext*>(context);
    if ((scan.masks[id] & scan.position) != 0) {
        scan.out->push_back(id);
    }
    return 0;
}

} // namespace

std::unique_ptr<RulePrefilter> RulePrefilter::build(const std::vector<rulenode>& rules) {
    if (hs_valid_platform() != HS_SUCCESS || rules.empty()) {
        return nullptr;
    }
    std::unique_ptr<RulePrefilter> prefilter(new RulePrefilter());
    std::vector<unsigned> refused;
    if (!prefilter->compileAll(rules, refused)) {
        return nullptr;
    }
    for (unsigned i = 0; i < rules.size(); ++i) {
        if (scannable(rules[i]) && !contains(refused, i)) {
            continue;
        }
        ++prefilter->m_alwaysCount;
        for (int32_t position = 0; position < kPositionCount; ++position) {
            if (rules[i].appliesTo(position)) {
                prefilter->m_positions[size_t(position)].always.push_back(i);
            }
        }
    }
    prefilter->m_generation = ++g_generation;
    return prefilter;
}

// A position whose rules of a kind are most of all the rules of that kind
// scans the database of them all, which is compiled once; a position with
// fewer gets its own, so that it does not pay for the other positions'
// rules. Positions with the same rules share a database either way.
bool RulePrefilter::compileAll(const std::vector<rulenode>& rules,
                               std::vector<unsigned>& refused) {
    for (const rulenode& rule : rules) {
        m_masks.push_back(maskOf(rule));
    }
    for (int32_t position = 0; position < kPositionCount; ++position) {
        PositionRules& own = m_positions[size_t(position)];
        for (const rulenode& rule : rules) {
            own.needsNormal |= rule.appliesTo(position) && rule.tra == TRA_NORMAL;
        }
        for (const Transform tra : {TRA_RAW, TRA_NORMAL}) {
            const auto ofKind = [tra](const rulenode& rule) { return rule.tra == tra; };
            if (!databaseFor(rules, position, ofKind, refused,
                             tra == TRA_RAW ? own.raw : own.normal)) {
                return false;
            }
        }
        const auto every = [](const rulenode&) { return true; };
        if (!databaseFor(rules, position, every, refused, own.both)) {
            return false;
        }
    }
    return true;
}

template <typename Take>
bool RulePrefilter::databaseFor(const std::vector<rulenode>& rules, int32_t position, Take take,
                                std::vector<unsigned>& refused, const hs_database*& out) {
    std::vector<unsigned> all = membersOf(rules, take, refused);
    const auto applies = [&](const rulenode& rule) {
        return take(rule) && rule.appliesTo(position);
    };
    std::vector<unsigned> own = membersOf(rules, applies, refused);
    if (own.size() * kSharedShare.denominator >= all.size() * kSharedShare.numerator) {
        own = std::move(all);
    }
    return databaseOf(rules, std::move(own), refused, out);
}

bool RulePrefilter::databaseOf(const std::vector<rulenode>& rules, std::vector<unsigned> members,
                               std::vector<unsigned>& refused, const hs_database*& out) {
    out = nullptr;
    if (members.empty()) {
        return true;
    }
    const auto known = m_databases.find(members);
    if (known != m_databases.end()) {
        out = known->second;
        return true;
    }
    hs_database_t* database = nullptr;
    if (!compileRules(rules, members, database, refused)) {
        return false;
    }
    m_databases.emplace(std::move(members), database);
    out = database;
    return true;
}

RulePrefilter::~RulePrefilter() {
    for (const auto& [members, database] : m_databases) {
        hs_free_database(database);
    }
}

bool RulePrefilter::fitScratch() const {
    if (t_scratch.fittedTo == m_generation) {
        return true;
    }
    for (const auto& [members, database] : m_databases) {
        if (database != nullptr && hs_alloc_scratch(database, &t_scratch.scratch) != HS_SUCCESS) {
            t_scratch.fittedTo = 0;
            return false;
        }
    }
    t_scratch.fittedTo = m_generation;
    return true;
}

bool RulePrefilter::candidates(int32_t position, std::string_view raw, std::string_view normal,
                               std::vector<uint32_t>& out) const {
    out.clear();
    const PositionRules& own = m_positions[index(position)];
    const uint32_t bit = positionBit(int32_t(index(position)));
    if (!fitScratch() || !scan(own.raw, raw, bit, out) ||
        !scan(own.normal, normal, bit, out)) {
        return false;
    }
    finish(own, out);
    return true;
}

bool RulePrefilter::candidates(int32_t position, std::string_view value,
                               std::vector<uint32_t>& out) const {
    out.clear();
    const PositionRules& own = m_positions[index(position)];
    const uint32_t bit = positionBit(int32_t(index(position)));
    if (!fitScratch() || !scan(own.both, value, bit, out)) {
        return false;
    }
    finish(own, out);
    return true;
}

// Each scan names a rule at most once and the two scans of a value take
// rules of different transforms; only a raw rule that the second database
// refused can be named twice, by the first one and as always confirmed.
void RulePrefilter::finish(const PositionRules& own, std::vector<uint32_t>& out) const {
    out.insert(out.end(), own.always.begin(), own.always.end());
    if (out.size() > 1) {
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
}

bool RulePrefilter::scan(const hs_database* database, std::string_view value, uint32_t position,
                         std::vector<uint32_t>& out) const {
    if (database == nullptr) {
        return true;
    }
    if (value.size() > std::numeric_limits<unsigned>::max()) {
        return false;
    }
    ScanContext context{m_masks.data(), position, &out};
    const hs_error_t rc = hs_scan(database, value.data(), unsigned(value.size()), 0,
                                  t_scratch.scratch, collect, &context);
    return rc == HS_SUCCESS;
}

} // namespace ostrum
