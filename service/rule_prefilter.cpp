#include "service/rule_prefilter.h"

#include "service/trace.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <cstring>
#include <limits>
#include <hs/hs.h>
#include <string>
#include <system_error>
#include <thread>

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

// The scannable rules that pass `take`.
template <typename Take>
std::vector<unsigned> membersOf(const std::vector<rulenode>& rules, Take take) {
    std::vector<unsigned> members;
    for (unsigned i = 0; i < rules.size(); ++i) {
        if (take(rules[i]) && scannable(rules[i])) {
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

// Bytes that make up most benign values, decoded or not: letters, digits,
// blank and the punctuation of names, paths, numbers and addresses. Many
// rules need a byte outside them (a quote, a bracket, a percent sign ...)
// and cannot match a value made only of these.
constexpr std::string_view kCommonPunctuation = " -_./=,:@";

const std::array<bool, 256>& commonBytes() {
    static const std::array<bool, 256> table = [] {
        std::array<bool, 256> built{};
        for (int c = 0; c < 256; ++c) {
            built[size_t(c)] = (c < 0x80 && std::isalnum(c) != 0) ||
                               (c != 0 && kCommonPunctuation.find(char(c)) != std::string_view::npos);
        }
        return built;
    }();
    return table;
}

// Up to this length a value is checked for common bytes only: the scan's
// fixed cost, which the smaller database cuts, is then most of its cost;
// beyond it the check would cost about what it saves.
constexpr size_t kCommonScanLimit = 256;

bool commonOnly(std::string_view value) {
    if (value.size() > kCommonScanLimit) {
        return false;
    }
    const std::array<bool, 256>& common = commonBytes();
    bool all = true;
    for (const char c : value) {
        all &= common[static_cast<unsigned char>(c)];
    }
    return all;
}

// Whether every match of the rule holds a byte that is not common, so that
// no value of common bytes only can match it. For a regex this asks PCRE2
// itself, compiled as the rule is: a match that must start with one of a
// set of bytes, or must hold one byte, is never found by PCRE2 in a value
// without them, since PCRE2 skips such values on the same knowledge.
bool needsUncommonByte(const rulenode& rule) {
    const std::array<bool, 256>& common = commonBytes();
    if (rule.cm == CM_FIND) {
        return std::any_of(rule.pat.begin(), rule.pat.end(),
                           [&](char c) { return !common[static_cast<unsigned char>(c)]; });
    }
    int code = 0;
    PCRE2_SIZE offset = 0;
    const std::unique_ptr<pcre2_code, void (*)(pcre2_code*)> compiled(
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(rule.pat.data()), rule.pat.size(), 0, &code,
                      &offset, nullptr),
        pcre2_code_free);
    if (compiled == nullptr) {
        return false;
    }
    uint32_t firstType = 0;
    uint32_t first = 0;
    uint32_t lastType = 0;
    uint32_t last = 0;
    const uint8_t* firstBytes = nullptr;
    if (pcre2_pattern_info(compiled.get(), PCRE2_INFO_FIRSTCODETYPE, &firstType) != 0 ||
        pcre2_pattern_info(compiled.get(), PCRE2_INFO_FIRSTCODEUNIT, &first) != 0 ||
        pcre2_pattern_info(compiled.get(), PCRE2_INFO_LASTCODETYPE, &lastType) != 0 ||
        pcre2_pattern_info(compiled.get(), PCRE2_INFO_LASTCODEUNIT, &last) != 0 ||
        pcre2_pattern_info(compiled.get(), PCRE2_INFO_FIRSTBITMAP, &firstBytes) != 0) {
        return false;
    }
    // A code unit found without regard to case is a letter, and letters
    // are common, so case needs no care here.
    if ((firstType == 1 && first < 256 && !common[first]) ||
        (lastType == 1 && last < 256 && !common[last])) {
        return true;
    }
    if (firstBytes == nullptr) {
        return false;
    }
    for (size_t b = 0; b < 256; ++b) {
        if ((firstBytes[b / 8] >> (b % 8) & 1) != 0 && common[b]) {
            return false;
        }
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

// Databases compiled at once while the filter starts: the shipped rules
// make a handful, of which the largest sets the pace.
constexpr size_t kCompileThreads = 4;

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

// A position whose rules of a scan are most of all the rules scans the
// database of them all, which is compiled once, and takes only the hits of
// its own rules; a position with fewer gets a database of its own, so that
// it does not pay for the other positions' rules. Positions with the same
// rules share a database either way. Every database is planned first and
// then all are compiled at once.
bool RulePrefilter::compileAll(const std::vector<rulenode>& rules,
                               std::vector<unsigned>& refused) {
    for (const rulenode& rule : rules) {
        m_masks.push_back(maskOf(rule));
    }
    Pending pending;
    for (int32_t position = 0; position < kPositionCount; ++position) {
        PositionRules& own = m_positions[size_t(position)];
        for (const rulenode& rule : rules) {
            own.needsNormal |= rule.appliesTo(position) && rule.tra == TRA_NORMAL;
        }
        const uint32_t bit = positionBit(position);
        scanFor(rules, bit | kRawBit, pending, own.raw);
        scanFor(rules, bit | kNormalBit, pending, own.normal);
        scanFor(rules, bit, pending, own.both);
    }
    if (!compileDatabases(rules, refused)) {
        return false;
    }
    for (const auto& [slot, members] : pending) {
        *slot = m_databases.at(members);
    }
    return true;
}

void RulePrefilter::scanFor(const std::vector<rulenode>& rules, uint32_t wanted, Pending& pending,
                            Scan& out) {
    const auto any = [](const rulenode&) { return true; };
    const auto wants = [&](const rulenode& rule) { return (maskOf(rule) & wanted) == wanted; };
    std::vector<unsigned> all = membersOf(rules, any);
    std::vector<unsigned> own = membersOf(rules, wants);
    const bool shared =
        own.size() * kSharedShare.denominator >= all.size() * kSharedShare.numerator;
    if (shared) {
        own = std::move(all);
        commonDatabaseOf(rules, own, pending, out.common);
    }
    out.wanted = wanted;
    databaseOf(std::move(own), pending, out.database);
}

// Only the big shared database gets a smaller twin: there the scan's fixed
// cost is the largest, and one twin serves every position that shares it.
void RulePrefilter::commonDatabaseOf(const std::vector<rulenode>& rules,
                                     const std::vector<unsigned>& members, Pending& pending,
                                     const hs_database*& out) {
    std::vector<unsigned> possible;
    for (const unsigned i : members) {
        if (!needsUncommonByte(rules[i])) {
            possible.push_back(i);
        }
    }
    out = nullptr;
    if (possible.size() != members.size() && !possible.empty()) {
        databaseOf(std::move(possible), pending, out);
    }
}

void RulePrefilter::databaseOf(std::vector<unsigned> members, Pending& pending,
                               const hs_database*& out) {
    out = nullptr;
    if (!members.empty()) {
        m_databases.emplace(members, nullptr);
        pending.emplace_back(&out, std::move(members));
    }
}

// The databases compile on threads of their own: the start waits for the
// largest instead of for all of them one after another. Where no thread can
// be had, the rest compile here.
bool RulePrefilter::compileDatabases(const std::vector<rulenode>& rules,
                                     std::vector<unsigned>& refused) {
    struct Job {
        const std::vector<unsigned>* members = nullptr;
        hs_database_t* database = nullptr;
        std::vector<unsigned> refused;
        bool compiled = false;
    };
    std::vector<Job> jobs;
    for (const auto& [members, database] : m_databases) {
        Job job;
        job.members = &members;
        jobs.push_back(std::move(job));
    }
    const auto run = [&rules](Job& job) {
        job.compiled = compileRules(rules, *job.members, job.database, job.refused);
    };
    std::vector<std::thread> threads;
    size_t next = 0;
    try {
        for (; next + 1 < jobs.size() && threads.size() < kCompileThreads; ++next) {
            threads.emplace_back(run, std::ref(jobs[next]));
        }
    } catch (const std::system_error& error) {
        OST_TRACE("prefilter: compiling on this thread only: %s", error.what());
    }
    for (; next < jobs.size(); ++next) {
        run(jobs[next]);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    bool all = true;
    for (Job& job : jobs) {
        m_databases[*job.members] = job.database;
        refused.insert(refused.end(), job.refused.begin(), job.refused.end());
        all &= job.compiled;
    }
    return all;
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
    const hs_database* database =
        which.common != nullptr && commonOnly(value) ? which.common : which.database;
    const hs_error_t rc =
        hs_scan(database, value.data(), unsigned(value.size()), 0, space, collect, &context);
    return rc == HS_SUCCESS;
}

} // namespace ostrum
