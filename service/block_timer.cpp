// STUB: to be replaced
#include "service/block_timer.h"

namespace ostrum {
bool BlockTimer::isBlocked(const std::string&) { return false; }
BlockTimer::Decision BlockTimer::recordAttack(const std::string&, const BlockPolicy&) { return {}; }
std::optional<blockinfo> BlockTimer::findForTest(const std::string&) { return {}; }
} // namespace ostrum
