#include "service/iprange.h"

#include <algorithm>

namespace ostrum {

void iprange::addSegment(ipsegment segment) {
    segments.push_back(segment);
    maxip = std::max(maxip, segment._leip);
    minip = std::min(minip, segment._lsip);
}

bool iprange::holds(uint32_t ip) const {
    if (minip > ip || maxip < ip) {
        return false;
    }
    return std::any_of(segments.begin(), segments.end(), [ip](const ipsegment& segment) {
        return segment._lsip <= ip && ip <= segment._leip;
    });
}

} // namespace ostrum
