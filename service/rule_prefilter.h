#pragma once

#include "service/rulenode.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

struct hs_database;

namespace ostrum {

// Which attack rules can match a value, from one multi-pattern scan per
// transform instead of one match per rule. Every rule the scan names still
// has to be confirmed by its own compare; a rule it does not name cannot
// match. Rules the scanner cannot take, and every !regex rule (which fires
// on no match), are named for every value.
class RulePrefilter {
public:
    // nullptr where the CPU lacks what the scanner needs, or nothing compiles.
    static std::unique_ptr<RulePrefilter> build(const std::vector<rulenode>& rules);
    ~RulePrefilter();
    RulePrefilter(const RulePrefilter&) = delete;
    RulePrefilter& operator=(const RulePrefilter&) = delete;

    // Whether some rule of the position looks at the normal form.
    bool needsNormal(int32_t position) const { return m_needsNormal[index(position)]; }
    // Indexes into the rule list, ascending, of the rules of the position
    // that may match: raw rules scanned on raw, normal rules on normal.
    // false when a scan failed; candidates then holds nothing useful.
    [[nodiscard]] bool candidates(int32_t position, std::string_view raw, std::string_view normal,
                                  std::vector<uint32_t>& out) const;

    // Rules that are confirmed for every value, for tests and reports.
    size_t alwaysConfirmedCount() const { return m_alwaysCount; }

private:
    RulePrefilter() = default;
    static size_t index(int32_t position) {
        return position >= 0 && position < kPositionCount ? size_t(position) : 0;
    }
    // The scanner's databases of one set of rules, for the raw and the normal form.
    struct Databases {
        hs_database* raw = nullptr;
        hs_database* normal = nullptr;
    };
    [[nodiscard]] bool addSet(const std::vector<rulenode>& rules,
                              const std::vector<unsigned>& members,
                              std::vector<unsigned>& refused);
    bool fitScratch() const;
    bool scan(const hs_database* database, std::string_view value,
              std::vector<uint32_t>& out) const;

    // One set per position code of the rules, each rule compiled once; a
    // value meets the sets of "any", of its own position and, for the
    // variables, of "arg".
    std::vector<Databases> m_sets;
    std::array<std::vector<uint8_t>, kPositionCount> m_setsOf;
    uint64_t m_generation = 0;
    size_t m_alwaysCount = 0;
    std::array<bool, kPositionCount> m_needsNormal{};
    // Per position, the always-confirmed rules that apply to it.
    std::array<std::vector<uint32_t>, kPositionCount> m_always;
};

} // namespace ostrum
