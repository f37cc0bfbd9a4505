#include "service/rule_prefilter.h"

#include "service/trace.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <hs/hs.h>
#include <string>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

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

// A match that must start at the value's first byte and is at most this
// long is cheaper to look for with the rule's own compare, which tries
// those few bytes once, than in a scanner's database: a rule like "the
// first byte is not a slash" meets nearly every value of every position,
// and each scan that meets it pays for reporting it.
constexpr unsigned kDirectMatchWidth = 16;

// Whether the regex rule matches only within the first kDirectMatchWidth
// bytes of a value: anchored at the start, as PCRE2 reads the pattern,
// and no longer than that, as the scanner reads it without approximation
// (which it refuses for lookarounds and back-references, whose work the
// width would not bound).
bool confirmedDirectly(const rulenode& rule) {
    if (rule.cm != CM_REGEX || rule.compiled == nullptr) {
        return false;
    }
    int code = 0;
    PCRE2_SIZE offset = 0;
    const std::unique_ptr<pcre2_code, void (*)(pcre2_code*)> compiled(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(rule.pat.data()), rule.pat.size(), 0, &code,
                      &offset, nullptr),
        pcre2_code_free);
    uint32_t options = 0;
    if (compiled == nullptr ||
        pcre2_pattern_info(compiled.get(), PCRE2_INFO_ALLOPTIONS, &options) != 0 ||
        (options & PCRE2_ANCHORED) == 0) {
        return false;
    }
    hs_expr_info_t* info = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_expression_info(rule.pat.c_str(), HS_FLAG_ALLOWEMPTY, &info, &error) != HS_SUCCESS) {
        hs_free_compile_error(error);
        return false;
    }
    const bool narrow = info->max_width <= kDirectMatchWidth;
    std::free(info); // the scanner's default allocator
    return narrow;
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

// The share of all the rules from which a position scans the database of
// them all: its own would save little scanning and cost a compile as long.
struct Share {
    size_t numerator;
    size_t denominator;
};
constexpr Share kSharedShare{3, 4};

// A rule's mask: a bit per position it applies to, and one for its
// transform.
constexpr uint32_t kRawBit = uint32_t(1) << kPositionCount;
constexpr uint32_t kNormalBit = kRawBit << 1;

uint32_t positionBit(int32_t position) {
    return uint32_t(1) << position;
}

uint32_t maskOf(const rulenode& rule) {
    uint32_t mask = rule.tra == TRA_NORMAL ? kNormalBit : kRawBit;
    for (int32_t position = 0; position < kPositionCount; ++position) {
        mask |= rule.appliesTo(position) ? positionBit(position) : 0;
    }
    return mask;
}

struct ScanContext {
    const uint32_t* masks;
    uint32_t wanted;
    std::vector<uint32_t>* out;
};

int collect(unsigned int id, unsigned long long, unsigned long long, unsigned int,
            void* context) {
    const auto& scan = *static_cast<const ScanContext*>(context);
    if ((scan.masks[id] & scan.wanted) == scan.wanted) {
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
    // Rules kept out of every database, confirmed for every value.
    std::vector<unsigned> refused;
    for (unsigned i = 0; i < rules.size(); ++i) {
        if (scannable(rules[i]) && confirmedDirectly(rules[i])) {
            OST_TRACE("prefilter: rule %d confirmed directly, matches only at the start",
                      rules[i].id);
            refused.push_back(i);
        }
    }
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

// A position whose rules of a scan are most of all the rules scans the
// database of them all, which is compiled once, and takes only the hits of
// its own rules; a position with fewer gets a database of its own, so that
// it does not pay for the other positions' rules. Positions with the same
// rules share a database either way.
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
        const uint32_t bit = positionBit(position);
        if (!scanFor(rules, bit | kRawBit, refused, own.raw) ||
            !scanFor(rules, bit | kNormalBit, refused, own.normal) ||
            !scanFor(rules, bit, refused, own.both)) {
            return false;
        }
    }
    return true;
}

bool RulePrefilter::scanFor(const std::vector<rulenode>& rules, uint32_t wanted,
                            std::vector<unsigned>& refused, Scan& out) {
    const auto any = [](const rulenode&) { return true; };
    const auto wants = [&](const rulenode& rule) { return (maskOf(rule) & wanted) == wanted; };
    std::vector<unsigned> all = membersOf(rules, any, refused);
    std::vector<unsigned> own = membersOf(rules, wants, refused);
    if (own.size() * kSharedShare.denominator >= all.size() * kSharedShare.numerator) {
        own = std::move(all);
    }
    out.wanted = wanted;
    return databaseOf(rules, std::move(own), refused, out.database);
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

hs_scratch* RulePrefilter::scratch() const {
    ThreadScratch& own = t_scratch;
    if (own.fittedTo == m_generation) {
        return own.scratch;
    }
    for (const auto& [members, database] : m_databases) {
        if (database != nullptr && hs_alloc_scratch(database, &own.scratch) != HS_SUCCESS) {
            own.fittedTo = 0;
            return nullptr;
        }
    }
    own.fittedTo = m_generation;
    return own.scratch;
}

bool RulePrefilter::candidates(int32_t position, std::string_view raw, std::string_view normal,
                               std::vector<uint32_t>& out) const {
    out.clear();
    const PositionRules& own = m_positions[index(position)];
    hs_scratch_t* space = scratch();
    if (space == nullptr || !scan(own.raw, raw, space, out) ||
        !scan(own.normal, normal, space, out)) {
        return false;
    }
    finish(own, out);
    return true;
}

bool RulePrefilter::candidates(int32_t position, std::string_view value,
                               std::vector<uint32_t>& out) const {
    out.clear();
    const PositionRules& own = m_positions[index(position)];
    hs_scratch_t* space = scratch();
    if (space == nullptr || !scan(own.both, value, space, out)) {
        return false;
    }
    finish(own, out);
    return true;
}

// Each scan names a rule at most once and the two scans of a value take
// rules of different transforms; only a rule that some database refused
// can be named twice, by another one and as always confirmed.
void RulePrefilter::finish(const PositionRules& own, std::vector<uint32_t>& out) {
    out.insert(out.end(), own.always.begin(), own.always.end());
    if (out.size() > 1) {
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
}

bool RulePrefilter::scan(const Scan& which, std::string_view value, hs_scratch* space,
                         std::vector<uint32_t>& out) const {
    if (which.database == nullptr) {
        return true;
    }
    if (value.size() > std::numeric_limits<unsigned>::max()) {
        return false;
    }
    ScanContext context{m_masks.data(), which.wanted, &out};
    const hs_error_t rc = hs_scan(which.database, value.data(), unsigned(value.size()), 0, space,
                                  collect, &context);
    return rc == HS_SUCCESS;
}

} // namespace ostrum
