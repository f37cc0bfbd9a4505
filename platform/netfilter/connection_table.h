#pragma once

// Endpoint id -> connection, for the calls that name a connection by its id
// from any thread. Sharded so that lookups from many threads rarely meet.

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace platform::netfilter {

class Session;

class ConnectionTable {
public:
    void insert(uint64_t id, std::shared_ptr<Session> session);
    void erase(uint64_t id);
    std::shared_ptr<Session> find(uint64_t id) const;

private:
    struct alignas(64) Shard {
        mutable std::mutex lock;
        std::unordered_map<uint64_t, std::shared_ptr<Session>> sessions;
    };

    Shard& shardOf(uint64_t id) const { return m_shards[id % m_shards.size()]; }

    mutable std::array<Shard, 64> m_shards;
};

} // namespace platform::netfilter
