#include "service/block_timer.h"

#include "platform/clock.h"

#include <algorithm>
#include <limits>

namespace ostrum {
namespace {

constexpr uint64_t kMaxMs = std::numeric_limits<uint32_t>::max();

// Seconds beyond 4294967 do not fit the millisecond fields: clamped.
uint32_t toMs(uint64_t seconds) {
    return uint32_t(std::min(seconds * 1000, kMaxMs));
}

// A start tick of 0 reads as "no block", so a block that starts as the
// counter passes 0 starts a millisecond later instead.
uint32_t startTick() {
    return std::max<uint32_t>(platform::tickCount(), 1);
}

BlockTimer::Decision startBlock(blockinfo& info, uint32_t ms) {
    info.block_time_len = ms;
    info.starttick = startTick();
    info.active = 1;
    return {true, ms / 1000};
}

uint32_t repeatedLength(const blockinfo& info, const BlockPolicy& policy) {
    if (info.block_time_len == 0) {
        return toMs(policy.blockTimeLength);
    }
    return uint32_t(
        std::min<uint64_t>(uint64_t(info.block_time_len) * 2, toMs(policy.blockMaxTimeLen)));
}

} // namespace

bool BlockTimer::isBlocked(const std::string& ip) {
    std::lock_guard<Mutex> guard(m_lock);
    const auto found = blockmap.find(ip);
    if (found == blockmap.end()) {
        return false;
    }
    blockinfo& info = found->second;
    if (info.block_time_len == 0 || info.starttick == 0) {
        return false;
    }
    if (platform::tickCount() - info.starttick < info.block_time_len) {
        return true;
    }
    info.attackcount = 0;
    info.block_time_len = 0;
    info.starttick = 0;
    return false;
}

BlockTimer::Decision BlockTimer::recordAttack(const std::string& ip, const BlockPolicy& policy) {
    std::lock_guard<Mutex> guard(m_lock);
    const auto [found, inserted] = blockmap.try_emplace(ip);
    blockinfo& info = found->second;
    if (inserted) {
        info.ip = ip;
    }
    ++info.attackcount;
    if (info.active == 0) {
        if (info.attackcount >= policy.blockWhenN) {
            return startBlock(info, toMs(policy.blockTimeLength));
        }
        return {};
    }
    if (info.attackcount >= policy.blockAgainWhenM) {
        return startBlock(info, repeatedLength(info, policy));
    }
    return {};
}

std::optional<blockinfo> BlockTimer::findForTest(const std::string& ip) {
    std::lock_guard<Mutex> guard(m_lock);
    const auto found = blockmap.find(ip);
    if (found == blockmap.end()) {
        return std::nullopt;
    }
    return found->second;
}

} // namespace ostrum
