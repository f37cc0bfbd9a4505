#pragma once

#include <cstddef>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

namespace ostrum {

// Request variables in text order: decoded names, values as received. A
// value, and a name that decoding leaves as it was, is a view into the text
// it was parsed from, which must outlive the list's use; any other name is
// kept in the list's own room, whose bytes stay put while the list lives.
// So a request's variables cost no allocation once a list has its room.
class PairList {
public:
    using Pair = std::pair<std::string_view, std::string_view>;
    using const_iterator = std::vector<Pair>::const_iterator;

    PairList() = default;
    PairList(PairList&&) noexcept = default;
    PairList& operator=(PairList&&) noexcept = default;
    PairList(const PairList&) = delete;
    PairList& operator=(const PairList&) = delete;

    // Emptied; its room is kept for the next text.
    void clear() {
        m_pairs.clear();
        if (!m_blocks.empty()) {
            clearBlocks();
        }
    }
    // Emptied, and all room given back when it is beyond these bounds.
    void trim(size_t pairsKept, size_t bytesKept) {
        if (m_pairs.capacity() > pairsKept || m_blockBytes > bytesKept) {
            *this = PairList();
        } else {
            clear();
        }
    }

    // name and value must outlive the list's use.
    void add(std::string_view name, std::string_view value) { m_pairs.emplace_back(name, value); }
    // A copy of text in the list's own room, valid until clear.
    std::string_view keep(std::string_view text);
    // other's pairs (another list's) after these, their names kept here.
    void append(const PairList& other);

    size_t size() const { return m_pairs.size(); }
    bool empty() const { return m_pairs.empty(); }
    const Pair& operator[](size_t index) const { return m_pairs[index]; }
    const_iterator begin() const { return m_pairs.begin(); }
    const_iterator end() const { return m_pairs.end(); }

private:
    void clearBlocks();

    // Room that is never moved nor grown, so that views into it hold.
    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t capacity = 0;
        size_t used = 0;
    };

    std::vector<Pair> m_pairs;
    std::vector<Block> m_blocks;
    size_t m_current = 0;    // the block that kept the last text
    size_t m_blockBytes = 0; // the room of all blocks
};

} // namespace ostrum
