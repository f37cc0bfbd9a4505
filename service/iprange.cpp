// STUB: to be replaced
#include "service/iprange.h"

namespace ostrum {
void iprange::addSegment(ipsegment) {}
bool iprange::holds(uint32_t) const { return false; }
} // namespace ostrum
