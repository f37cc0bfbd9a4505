#include "service/http_filter.h"
#include "service/trace.h"

namespace ostrum {

bool HttpFilter::blockingOn() {
    const int32_t mode = m_config.getRunMod();
    return m_config.getActionBlock() && mode != 2 && mode != 3;
}

bool HttpFilter::isIpBlocked(std::string ip) {
    if (!m_config.getBlockWhenConn() || !blockingOn()) {
        return false;
    }
    return blockmap.isBlocked(ip);
}

// The block line is written after the timer's lock is released: that lock
// is taken while no other lock is held.
int32_t HttpFilter::recordAttack(std::string ip) {
    if (!blockingOn()) {
        return 0;
    }
    const BlockPolicy policy{m_config.getBlockWhenN(), m_config.getBlockAginWhenM(),
                             m_config.getBlockTimeLength(), m_config.getBlockMaxTimeLen()};
    const BlockTimer::Decision decision = blockmap.recordAttack(ip, policy);
    if (!decision.block) {
        return 0;
    }
    writeMainLog(ip + "\tblock_time_len=" + std::to_string(decision.seconds) + "s");
    return 1;
}

bool HttpFilter::blockConnection(uint64_t id, std::string message) {
    if (!blockingOn()) {
        return false;
    }
    writeMainLog(message);
    nfapi::nf_tcpClose(id);
    OST_TRACE_TEXT(message);
    return true;
}

} // namespace ostrum
