#include "service/engine.h"
#include "service/trace.h"

#include <mutex>

namespace ostrum {

iprange* engine::rangeOf(uint32_t ip) {
    for (iprange& range : iprangelist) {
        if (range.holds(ip)) {
            return &range;
        }
    }
    return nullptr;
}

uint32_t engine::addipconn(uint32_t ip) {
    std::lock_guard<Mutex> guard(rangelock);
    iprange* range = rangeOf(ip);
    if (range == nullptr) {
        return 0;
    }
    OST_TRACE("addipconn:: find ip in %s,connednum=%u!", range->name.c_str(), range->connednum);
    if (range->connednum < range->maxconn) {
        ++range->connednum;
        return 0;
    }
    return range->maxconn;
}

uint32_t engine::decipconn(uint32_t ip) {
    std::lock_guard<Mutex> guard(rangelock);
    iprange* range = rangeOf(ip);
    if (range == nullptr) {
        return 0;
    }
    OST_TRACE("decipconn:: find ip in %s,connednum=%u!", range->name.c_str(), range->connednum);
    if (range->connednum == 0) {
        return 0;
    }
    return --range->connednum;
}

} // namespace ostrum
