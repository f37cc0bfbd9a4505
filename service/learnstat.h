#pragma once

#include <cstddef>
#include <cstdint>

namespace ostrum {

constexpr int kBuiltinTypeCount = 15;
constexpr int kLengthBuckets = 20;

// Self-learning keeps one learnstat and its key per distinct parameter key
// until the result is written, and writes one line per key. These two caps
// bound its memory and its file whatever the clients send: at most about
// kLearnKeysMax x (kLearnKeyLengthMax + 300) bytes, some 26 MiB, in memory
// and as much in the file. A site's own parameters are far fewer (hundreds
// of scripts with tens of parameters each), and its host, port and script
// path take far less than a kilobyte.
constexpr size_t kLearnKeysMax = 20000;
constexpr size_t kLearnKeyLengthMax = 1024;

// Self-learning statistics of one parameter.
struct learnstat {
    uint32_t typecount[kBuiltinTypeCount] = {};
    uint32_t unknowncount = 0;
    uint32_t lenhist[kLengthBuckets] = {};
    uint32_t overlen = 0;
    uint32_t maxlen = 0;
    uint32_t minlen = 0;
};

// What self-learning did with one sample. A cap answers with its own result
// only the first time it refuses a key, so that the run log is told once;
// later refusals are NotCounted.
enum class LearnResult {
    Counted,
    NotCounted, // learning over, this call wrote the result, or a cap again
    KeyTooLong,
    TooManyKeys,
};

// The caps that have already refused a key since the start.
struct LearnCapsNoted {
    bool keyTooLong = false;
    bool tooManyKeys = false;
};

} // namespace ostrum
