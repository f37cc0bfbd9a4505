#pragma once

#include "service/rulenode.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrum {

// Header values that met no attack rule, per thread. A browser sends the
// same agent, language, host and cookies with every request of a visit, and
// each would otherwise be scanned again. Only a value equal byte for byte,
// at the same position, under the same rules and decoding, counts as known;
// query and form values, which change from request to request, are never
// kept.
class VerdictCache {
public:
    // Whether values of the position are kept at all.
    static bool covers(int32_t position);

    // Whether the value is known to meet no rule of the rule set `rules`.
    bool knownClean(uint64_t rules, int32_t position, bool useUtf8, std::string_view value) const;
    void rememberClean(uint64_t rules, int32_t position, bool useUtf8, std::string_view value);

private:
    // Enough for the header fields of a few browsers a worker serves at once.
    static constexpr size_t kSlots = 64;
    // Header values are short; a longer one is rare and not worth a copy.
    static constexpr size_t kValueMax = 512;

    struct Slot {
        uint64_t rules = 0; // 0: empty; rule sets count from 1
        int32_t position = -1;
        bool useUtf8 = false;
        std::string value;
    };
    static size_t slotOf(int32_t position, std::string_view value);

    std::array<Slot, kSlots> m_slots;
};

} // namespace ostrum
