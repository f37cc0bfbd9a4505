#pragma once

#include "platform/mutex.h"
#include "service/constraint.h"
#include "service/iprange.h"
#include "service/learnstat.h"
#include "service/pair_list.h"
#include "service/rule_prefilter.h"
#include "service/rulenode.h"
#include "service/typenode.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrum {

// The detection core: attack rules, value types, patch-rule constraints,
// connection-limit ranges and self-learning. Filled while the filter
// starts, read-only for rules, types and constraints afterwards.
class engine {
public:
    engine();
    virtual ~engine();
    engine(const engine&) = delete;
    engine& operator=(const engine&) = delete;

    // Rule-file lines (the whole line each).
    virtual bool addrulestr(const std::string& line);
    virtual bool addjiprulestr(const std::string& line);
    virtual bool addjiptypestr(const std::string& line);
    virtual bool addiprangestr(const std::string& line);

    // The first attack rule, in file order, that fires on the value.
    virtual rulematch matchRules(int32_t position, std::string_view value, bool useUtf8);
    // The answers of matchRules for the value of each pair, out[i] for
    // pairs[i], from one scan of each prefilter database for all of them.
    virtual void matchRulesList(int32_t position, const PairList& pairs, bool useUtf8,
                                std::vector<rulematch>& out);
    // The same answer, found by trying the position's rules one by one.
    rulematch matchRulesOneByOne(int32_t position, std::string_view value, bool useUtf8);

    // The pairs' values, and most names, are views into text.
    virtual int32_t parseCookie(std::string_view text, bool useUtf8, PairList& pairs);
    virtual int32_t parseQuery(std::string_view text, bool useUtf8, PairList& pairs);

    // The first built-in type that accepts the value: "?" / -1 when none.
    virtual std::string typeNameOf(std::string_view value);
    virtual int32_t typeIndexOf(std::string_view value);

    virtual std::string decodeLower(std::string_view value);

    // 0: admitted (and counted) or in no range; else the full range's limit.
    virtual uint32_t addipconn(uint32_t ip);
    // The range's count after lowering it; 0 when in no range or already 0.
    virtual uint32_t decipconn(uint32_t ip);

    // 1 when the sample was counted.
    virtual int32_t selflearn(const std::string& host, const std::string& port,
                              const std::string& url, const std::string& param, char letter,
                              std::string_view value, uint32_t maxcount);
    // selflearn of a key already built.
    LearnResult selflearnKey(const std::string& key, std::string_view value, uint32_t maxcount);

    virtual bool addSafestrTypeRule(const char* name, const char* pattern);
    virtual bool addSafestrTypeRule(const std::string& name, const std::string& pattern);
    virtual bool addCommonTypeRule(const std::string& name, const std::string& pattern,
                                   int32_t index);
    virtual bool matchSafestrType(const std::string& typeName, std::string_view value);

    virtual int32_t splitString(std::string_view text, char delimiter,
                                std::vector<std::string>& pieces);
    virtual int32_t countChar(std::string_view text, char c);

    virtual std::string todayString();
    virtual std::string formatString(const char* format, ...) __attribute__((format(printf, 2, 3)));

    // 0 when the parameter passes or has no constraint, else the failing id.
    int32_t checkParamConstraint(const std::string& host, const std::string& port,
                                 const std::string& url, const std::string& param, char letter,
                                 std::string_view value);
    // checkParamConstraint of a key already built.
    int32_t checkParamKey(const std::string& key, std::string_view value);

    static std::string selfLearnPath(const std::string& date);

    const std::vector<rulenode>& rules() const { return rulelist; }
    const std::vector<typenode>& commonTypes() const { return commontypes; }
    const std::vector<typenode>& safestrTypes() const { return safestrtypes; }
    const std::map<std::string, constraint>& constraints() const { return constraintmap; }
    const std::vector<iprange>& ipRanges() const { return iprangelist; }
    // A copy taken under the lock, for tests and reports.
    std::map<std::string, learnstat> learnSnapshot();
    uint32_t learnCount();

    // The prefilter of the rules now loaded, built here when they changed;
    // null where there is none.
    const RulePrefilter* prefilter();

private:
    // What a match keeps per thread, so that a value costs no allocation.
    struct MatchBuffers {
        std::vector<std::string> normals;
        std::vector<RulePrefilter::Value> values;
        std::vector<std::vector<uint32_t>> candidates;
    };

    void matchValues(int32_t position, std::span<const std::string_view> values, bool useUtf8,
                     std::span<rulematch> out);
    // The first of the candidates, in file order, that fires on the value.
    rulematch confirm(const std::vector<uint32_t>& candidates, std::string_view value,
                      std::string_view normal);

    void indexRule(size_t index);
    void registerBuiltinTypes();
    void writeLearnResult();
    iprange* rangeOf(uint32_t ip);

    std::vector<rulenode> rulelist;
    std::vector<typenode> commontypes;
    std::vector<typenode> safestrtypes;
    std::map<std::string, constraint> constraintmap;
    Mutex rangelock;
    std::vector<iprange> iprangelist;
    std::map<std::string, learnstat> learnmap;
    uint32_t learncount = 0;
    uint32_t learnover = 0;
    LearnCapsNoted m_learnCaps;
    Mutex learnlock;

    // For each position code, the rules that apply to it, in file order.
    std::array<std::vector<uint32_t>, kPositionCount> m_rulesByPosition;
    // Built at start, or at the first match after the rules changed.
    std::mutex m_prefilterLock;
    std::atomic<bool> m_prefilterStale{true};
    std::unique_ptr<RulePrefilter> m_prefilter;
};

// A copy without leading and trailing white space (isspace).
std::string trim(std::string_view text);

} // namespace ostrum
