#pragma once

#include "service/rulenode.h"

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

struct hs_database;
struct hs_scratch;

namespace ostrum {

// Which attack rules can match a value, from one multi-pattern scan per
// transform instead of one match per rule. Every rule the scan names still
// has to be confirmed by its own compare; a rule it does not name cannot
// match. Rules the scanner cannot take, every !regex rule (which fires on
// no match), and rules that match only in a value's first few bytes or
// only from a line feed on (their compare is cheaper than their place in a
// database) are named for every value.
class RulePrefilter {
public:
    // nullptr where the CPU lacks what the scanner needs, or nothing compiles.
    static std::unique_ptr<RulePrefilter> build(const std::vector<rulenode>& rules);
    ~RulePrefilter();
    RulePrefilter(const RulePrefilter&) = delete;
    RulePrefilter& operator=(const RulePrefilter&) = delete;

    // Whether some rule of the position looks at the normal form.
    bool needsNormal(int32_t position) const { return m_positions[index(position)].needsNormal; }
    // One value of a list: its raw form and its normal form; `own` when the
    // value is its own normal form, which one scan then serves.
    struct Value {
        std::string_view raw;
        std::string_view normal;
        bool own;
    };
    // The candidates of each value of a list, out[i] those of values[i]:
    // indexes into the rule list, ascending, of the rules of the position
    // that may match, raw rules looked for in raw, normal rules in normal.
    // The same rules as a scan of each value alone would name (an empty
    // value names none: no rule meets it), from one scan per database for
    // the whole list. false when a scan failed; out then holds nothing
    // useful.
    [[nodiscard]] bool candidatesOfList(int32_t position, std::span<const Value> values,
                                        std::span<std::vector<uint32_t>> out) const;

    // Rules that are confirmed for every value, for tests and reports.
    size_t alwaysConfirmedCount() const { return m_alwaysCount; }
    // This rule set among all built in the process, counted from 1.
    uint64_t generation() const { return m_generation; }

private:
    RulePrefilter() = default;
    static size_t index(int32_t position) {
        return position >= 0 && position < kPositionCount ? size_t(position) : 0;
    }
    // One scan: the database, and the mask bits a rule's hit must have.
    struct Scan {
        const hs_database* database = nullptr;
        uint32_t wanted = 0;
    };
    // The scans of one position: its raw rules, its normal rules, and both
    // together for a value that is its own normal form.
    struct PositionRules {
        Scan raw;
        Scan normal;
        Scan both;
        bool needsNormal = false;
        // The always-confirmed rules of the position, ascending, and apart
        // from them those whose every match starts with a line feed: they
        // are named only for a value that holds one.
        std::vector<uint32_t> always;
        std::vector<uint32_t> fromLineFeed;
    };
    [[nodiscard]] bool compileAll(const std::vector<rulenode>& rules,
                                  std::vector<unsigned>& refused);
    [[nodiscard]] bool scanFor(const std::vector<rulenode>& rules, uint32_t wanted,
                               std::vector<unsigned>& refused, Scan& out);
    [[nodiscard]] bool databaseOf(const std::vector<rulenode>& rules,
                                  std::vector<unsigned> members, std::vector<unsigned>& refused,
                                  const hs_database*& out);
    // The thread's scratch space, fitted to these databases; null when the
    // scanner cannot give one.
    hs_scratch* scratch() const;
    // The values of a list that one database scans, joined into one text.
    struct Joined {
        std::string text;
        std::string_view first;
        // Per value: the offset just past its separator, its entry in the
        // list, and the mask bits a rule's hit in it must have.
        std::vector<size_t> ends;
        std::vector<uint32_t> entries;
        std::vector<uint32_t> wanted;
        void clear();
        void add(std::string_view value, uint32_t entry, uint32_t wants);
        std::string_view view() const;
    };
    bool scan(const Scan& which, const Joined& values, hs_scratch* space,
              std::span<std::vector<uint32_t>> out) const;
    void finish(const PositionRules& own, const Value& value, std::vector<uint32_t>& out) const;

    // Every database once, by the rules it holds. A database may hold rules
    // of other positions and transforms too; a hit counts when the rule's
    // mask has every bit the scan wants.
    std::map<std::vector<unsigned>, hs_database*> m_databases;
    std::vector<uint32_t> m_masks;
    std::array<PositionRules, kPositionCount> m_positions{};
    uint64_t m_generation = 0;
    size_t m_alwaysCount = 0;
};

} // namespace ostrum
