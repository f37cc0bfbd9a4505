#include "service/pair_list.h"

#include <algorithm>
#include <cstring>

namespace ostrum {
namespace {

// Room made at once for kept names: the decoded names of a request are
// seldom more than a few dozen bytes.
constexpr size_t kBlockBytes = 4096;

} // namespace

void PairList::clearBlocks() {
    for (Block& block : m_blocks) {
        block.used = 0;
    }
    m_current = 0;
}

// A text that does not fit the current block goes to the next one with room;
// the blocks passed over wait for the next clear.
std::string_view PairList::keep(std::string_view text) {
    if (text.empty()) {
        return {};
    }
    while (m_current < m_blocks.size() &&
           m_blocks[m_current].capacity - m_blocks[m_current].used < text.size()) {
        ++m_current;
    }
    if (m_current == m_blocks.size()) {
        const size_t capacity = std::max(kBlockBytes, text.size());
        m_blocks.push_back(Block{std::make_unique_for_overwrite<char[]>(capacity), capacity, 0});
        m_blockBytes += capacity;
    }
    Block& block = m_blocks[m_current];
    char* at = block.bytes.get() + block.used;
    std::memcpy(at, text.data(), text.size());
    block.used += text.size();
    return {at, text.size()};
}

void PairList::append(const PairList& other) {
    m_pairs.reserve(m_pairs.size() + other.size());
    for (const Pair& pair : other) {
        add(keep(pair.first), pair.second);
    }
}

} // namespace ostrum
