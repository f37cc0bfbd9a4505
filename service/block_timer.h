#pragma once

#include "platform/mutex.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace ostrum {

// What the block timer knows of one client address.
struct blockinfo {
    std::string ip;
    uint32_t attackcount = 0;
    uint32_t starttick = 0;      // tick when the current block began, 0 when none
    uint32_t block_time_len = 0; // ms, 0 when none
    uint32_t active = 0;         // 1 from the client's first block on
};

// The settings the timer decides by (seconds as configured).
struct BlockPolicy {
    uint32_t blockWhenN = 1;
    uint32_t blockAgainWhenM = 1;
    uint32_t blockTimeLength = 60;
    uint32_t blockMaxTimeLen = 3600;
};

// Per-client hit counts and block lengths; one lock over the whole table,
// held for each call and taken after no other lock.
class BlockTimer {
public:
    struct Decision {
        bool block = false;       // this hit closes the connection
        uint32_t seconds = 0;     // length of the block it started, when block
    };

    // True while the client's current block runs; clears a run-out block.
    bool isBlocked(const std::string& ip);
    Decision recordAttack(const std::string& ip, const BlockPolicy& policy);

    std::optional<blockinfo> findForTest(const std::string& ip);

private:
    Mutex m_lock;
    std::map<std::string, blockinfo> blockmap;
};

} // namespace ostrum
