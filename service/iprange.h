#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ostrum {

// Both ends included, IPv4 in host byte order.
struct ipsegment {
    uint32_t _lsip = 0;
    uint32_t _leip = 0;
};

// One CONNLIMIT line: address intervals sharing one connection count.
struct iprange {
    uint32_t maxconn = 0;
    uint32_t connednum = 0;
    uint32_t maxip = 0;
    uint32_t minip = UINT32_MAX;
    std::vector<ipsegment> segments;
    std::string name;

    // Appends the segment and widens minip and maxip over it.
    void addSegment(ipsegment segment);
    bool holds(uint32_t ip) const;
};

} // namespace ostrum
