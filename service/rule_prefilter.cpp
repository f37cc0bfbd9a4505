#include "service/rule_prefilter.h"

#include "service/trace.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <hs/hs.h>
#include <limits>
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

// The shortest and longest match of a pattern as the scanner reads it
// under the flags; false when it cannot read the pattern so.
struct MatchWidths {
    unsigned min = 0;
    unsigned max = 0;
};

bool widthsOf(const std::string& pattern, unsigned flags, MatchWidths& out) {
    hs_expr_info_t* info = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_expression_info(pattern.c_str(), flags, &info, &error) != HS_SUCCESS) {
        hs_free_compile_error(error);
        return false;
    }
    out = {info->min_width, info->max_width};
    std::free(info); // the scanner's default allocator
    return true;
}

// A list of values is scanned as one text, the values joined by this
// byte; the databases read it as a line end, so that `^`, `$`, `\b` and
// `\B` see at a value's edges what they see at the edges of the value
// alone. A match that spans it only names one rule too many, which the
// rule's own compare then turns down.
constexpr char kSeparator = '\n';

// A rule whose every match starts with the separator meets the join before
// each value of a list, and the scanner would start on the rest of the
// pattern there, once a value: costly for a long one. Its own compare
// first looks for the byte, which a value seldom holds. (A find rule's text
// is one line of the rule file, so it never holds the separator.)
bool startsAtSeparator(const rulenode& rule) {
    static_assert(kSeparator == '\n');
    return rule.cm == CM_REGEX && rule.compiled != nullptr && rule.compiled->startsWithLineFeed();
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
    if (rule.cm != CM_REGEX || rule.compiled == nullptr || !rule.compiled->anchoredAtStart()) {
        return false;
    }
    MatchWidths widths;
    return widthsOf(rule.pat, HS_FLAG_ALLOWEMPTY, widths) && widths.max <= kDirectMatchWidth;
}

// Scanner flags of every expression: a superset of the pattern's matches,
// confirmed by the pattern itself; reported at every end, so that each
// value of a list hears of every rule it may meet, not only the first.
constexpr unsigned kExpressionFlags = HS_FLAG_PREFILTER | HS_FLAG_MULTILINE | HS_FLAG_ALLOWEMPTY;

// Whether the pattern names the edges of the whole text (\A, \z, \Z, \G),
// which inside a list fall on other values. An escaped backslash before
// such a letter is read as the token too: keeping a rule out of the
// databases costs only its compare.
bool namesTextEdges(std::string_view pattern) {
    for (size_t i = 0; i + 1 < pattern.size(); ++i) {
        if (pattern[i] == '\\' &&
            std::string_view("AzZG").find(pattern[i + 1]) != std::string_view::npos) {
            return true;
        }
    }
    return false;
}

// Whether a scan of a list can name the rule for every value it may match
// alone: an empty match has no byte to tell which value it belongs to.
bool listSafe(const rulenode& rule) {
    if (rule.cm == CM_FIND) {
        return !rule.pat.empty();
    }
    if (namesTextEdges(rule.pat)) {
        return false;
    }
    MatchWidths widths;
    // A pattern the scanner cannot read is refused by the compile as well,
    // and confirmed for every value.
    return !widthsOf(rule.pat, kExpressionFlags, widths) || widths.min != 0;
}

Expression expressionOf(const rulenode& rule, unsigned index) {
    if (rule.cm == CM_FIND) {
        return {literalExpression(rule.pat), HS_FLAG_MULTILINE, index};
    }
    return {rule.pat, kExpressionFlags, index};
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

// One scan of a list: which value each reported end falls in, and which
// rules each value has heard of already.
struct ListScan {
    const uint32_t* masks;
    // The bits every value wants, then per value scanned, ascending: the
    // offset just past its separator, the list entry it stands for, and
    // the bits it wants.
    uint32_t wanted;
    const size_t* ends;
    const uint32_t* entries;
    const uint32_t* wants;
    size_t count;
    // The value of the last report.
    size_t last;
    std::vector<uint32_t>* out;
    uint64_t* heard;
    uint64_t firstTag;
};

// The value whose bytes, or separator, end at `to`. The scanner does not
// promise its reports in the order of their ends, only that they mostly
// come so: the last report's value is tried first.
size_t valueAt(const ListScan& scan, unsigned long long to) {
    const size_t last = scan.last;
    if (to <= scan.ends[last] && (last == 0 || to > scan.ends[last - 1])) {
        return last;
    }
    const size_t* found = std::lower_bound(scan.ends, scan.ends + scan.count, to);
    return std::min(size_t(found - scan.ends), scan.count - 1);
}

// A pattern reports at every end it has in a value; a value takes each
// rule once (a report out of order may name it again, which the sort of
// the candidates drops).
int collect(unsigned int id, unsigned long long, unsigned long long to, unsigned int,
            void* context) {
    auto& scan = *static_cast<ListScan*>(context);
    if ((scan.masks[id] & scan.wanted) != scan.wanted) {
        return 0;
    }
    scan.last = valueAt(scan, to);
    const uint32_t wants = scan.wants[scan.last];
    if ((scan.masks[id] & wants) != wants) {
        return 0;
    }
    const uint64_t tag = scan.firstTag + scan.last;
    if (scan.heard[id] != tag) {
        scan.heard[id] = tag;
        scan.out[scan.entries[scan.last]].push_back(id);
    }
    return 0;
}

// Per thread: for each rule, the tag of the last value that heard of it.
// Tags only grow, so a stale one never matches a new scan's.
struct Heard {
    std::vector<uint64_t> tags;
    uint64_t next = 1;
};
thread_local Heard t_heard;

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
        } else if (scannable(rules[i]) && startsAtSeparator(rules[i])) {
            OST_TRACE("prefilter: rule %d confirmed directly, its match starts with a line feed",
                      rules[i].id);
            refused.push_back(i);
        } else if (scannable(rules[i]) && !listSafe(rules[i])) {
            OST_TRACE("prefilter: rule %d confirmed directly, its match may need the text's edges",
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
        const bool fromLineFeed = scannable(rules[i]) && startsAtSeparator(rules[i]);
        for (int32_t position = 0; position < kPositionCount; ++position) {
            PositionRules& own = prefilter->m_positions[size_t(position)];
            if (rules[i].appliesTo(position)) {
                (fromLineFeed ? own.fromLineFeed : own.always).push_back(i);
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
bool RulePrefilter::compileAll(const std::vector<rulenode>& rules, std::vector<unsigned>& refused) {
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

// The joined text a thread keeps between lists: a large body's would
// otherwise stay held by every worker that ever scanned one.
constexpr size_t kKeptJoinedBytes = 64 * 1024;

// The values of one scan, joined; a single value is scanned where it is.
void RulePrefilter::Joined::clear() {
    if (text.capacity() > kKeptJoinedBytes) {
        std::string().swap(text);
    }
    text.clear();
    ends.clear();
    entries.clear();
    wanted.clear();
}

void RulePrefilter::Joined::add(std::string_view value, uint32_t entry, uint32_t wants) {
    if (entries.empty()) {
        first = value;
    } else {
        if (entries.size() == 1) {
            text.assign(first);
        }
        text += kSeparator;
        text.append(value);
    }
    ends.push_back((ends.empty() ? 0 : ends.back()) + value.size() + 1);
    entries.push_back(entry);
    wanted.push_back(wants);
}

std::string_view RulePrefilter::Joined::view() const {
    return entries.size() == 1 ? first : std::string_view(text);
}

bool RulePrefilter::candidatesOfList(int32_t position, std::span<const Value> values,
                                     std::span<std::vector<uint32_t>> out) const {
    thread_local std::array<Joined, 3> joined;
    auto& [both, raw, normal] = joined;
    for (Joined& one : joined) {
        one.clear();
    }
    const PositionRules& own = m_positions[index(position)];
    // Where the database of a transform is also that of both, its forms go
    // with the values that are their own: one scan fewer to start.
    Joined& raws = own.raw.database == own.both.database ? both : raw;
    Joined& normals = own.normal.database == own.both.database ? both : normal;
    for (size_t i = 0; i < values.size(); ++i) {
        out[i].clear();
        const Value& value = values[i];
        if (value.raw.empty()) {
            continue;
        }
        if (value.own) {
            both.add(value.raw, uint32_t(i), own.both.wanted);
        } else {
            raws.add(value.raw, uint32_t(i), own.raw.wanted);
            normals.add(value.normal, uint32_t(i), own.normal.wanted);
        }
    }
    hs_scratch_t* space = scratch();
    if (space == nullptr || !scan(own.both, both, space, out) || !scan(own.raw, raw, space, out) ||
        !scan(own.normal, normal, space, out)) {
        return false;
    }
    for (size_t i = 0; i < values.size(); ++i) {
        if (!values[i].raw.empty()) {
            finish(own, values[i], out[i]);
        }
    }
    return true;
}

// A rule can be named twice: by reports out of order, or by a database and
// as always confirmed when another database refused it.
void RulePrefilter::finish(const PositionRules& own, const Value& value,
                           std::vector<uint32_t>& out) const {
    out.insert(out.end(), own.always.begin(), own.always.end());
    for (const uint32_t rule : own.fromLineFeed) {
        const std::string_view text = (m_masks[rule] & kNormalBit) != 0 ? value.normal : value.raw;
        if (text.find(kSeparator) != std::string_view::npos) {
            out.push_back(rule);
        }
    }
    if (out.size() > 1) {
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
}

bool RulePrefilter::scan(const Scan& which, const Joined& values, hs_scratch* space,
                         std::span<std::vector<uint32_t>> out) const {
    if (which.database == nullptr || values.entries.empty()) {
        return true;
    }
    const std::string_view text = values.view();
    if (text.size() > std::numeric_limits<unsigned>::max()) {
        return false;
    }
    Heard& heard = t_heard;
    if (heard.tags.size() < m_masks.size()) {
        heard.tags.resize(m_masks.size(), 0);
    }
    ListScan context{m_masks.data(),
                     which.wanted,
                     values.ends.data(),
                     values.entries.data(),
                     values.wanted.data(),
                     values.entries.size(),
                     0,
                     out.data(),
                     heard.tags.data(),
                     heard.next};
    heard.next += values.entries.size();
    const hs_error_t rc =
        hs_scan(which.database, text.data(), unsigned(text.size()), 0, space, collect, &context);
    return rc == HS_SUCCESS;
}

} // namespace ostrum
