#include "service/verdict_cache.h"

#include <functional>

namespace ostrum {

bool VerdictCache::covers(int32_t position) {
    switch (position) {
    case POS_METHOD:
    case POS_VER:
    case POS_HOST:
    case POS_AGENT:
    case POS_REFERER:
    case POS_PROXY:
    case POS_CIP:
    case POS_ALAN:
    case POS_COOKIE:
        return true;
    default:
        return false;
    }
}

size_t VerdictCache::slotOf(int32_t position, std::string_view value) {
    return (std::hash<std::string_view>{}(value) + size_t(position)) % kSlots;
}

bool VerdictCache::knownClean(uint64_t rules, int32_t position, bool useUtf8,
                              std::string_view value) const {
    const Slot& slot = m_slots[slotOf(position, value)];
    return slot.rules == rules && slot.position == position && slot.useUtf8 == useUtf8 &&
           slot.value == value;
}

void VerdictCache::rememberClean(uint64_t rules, int32_t position, bool useUtf8,
                                 std::string_view value) {
    if (value.size() > kValueMax) {
        return;
    }
    Slot& slot = m_slots[slotOf(position, value)];
    slot.rules = rules;
    slot.position = position;
    slot.useUtf8 = useUtf8;
    slot.value.assign(value);
}

} // namespace ostrum
