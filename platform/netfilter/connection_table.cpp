#include "platform/netfilter/connection_table.h"

namespace platform::netfilter {

void ConnectionTable::insert(uint64_t id, std::shared_ptr<Session> session) {
    Shard& shard = shardOf(id);
    std::lock_guard guard(shard.lock);
    shard.sessions[id] = std::move(session);
}

void ConnectionTable::erase(uint64_t id) {
    std::shared_ptr<Session> last; // released outside the lock
    Shard& shard = shardOf(id);
    std::lock_guard guard(shard.lock);
    const auto found = shard.sessions.find(id);
    if (found != shard.sessions.end()) {
        last = std::move(found->second);
        shard.sessions.erase(found);
    }
}

std::shared_ptr<Session> ConnectionTable::find(uint64_t id) const {
    Shard& shard = shardOf(id);
    std::lock_guard guard(shard.lock);
    const auto found = shard.sessions.find(id);
    return found == shard.sessions.end() ? nullptr : found->second;
}

} // namespace platform::netfilter
