#include "platform/netfilter/operator_log.h"

namespace platform::netfilter {

bool ReportGate::open(const std::string& key, Clock::time_point now) {
    std::lock_guard guard(m_lock);
    const auto [at, added] = m_last.try_emplace(key, now);
    if (added) {
        return true;
    }
    if (now - at->second < kInterval) {
        return false;
    }
    at->second = now;
    return true;
}

void ReportGate::clear() {
    std::lock_guard guard(m_lock);
    m_last.clear();
}

} // namespace platform::netfilter
