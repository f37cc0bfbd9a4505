#pragma once

#include <cstdint>

namespace ostrum {

constexpr int kBuiltinTypeCount = 15;
constexpr int kLengthBuckets = 20;

// Self-learning statistics of one parameter.
struct learnstat {
    uint32_t typecount[kBuiltinTypeCount] = {};
    uint32_t unknowncount = 0;
    uint32_t lenhist[kLengthBuckets] = {};
    uint32_t overlen = 0;
    uint32_t maxlen = 0;
    uint32_t minlen = 0;
};

} // namespace ostrum
