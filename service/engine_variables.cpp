#include "service/decoders.h"
#include "service/engine.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace ostrum {
namespace {

// Calls visit for each piece the way a stream line reader with this delimiter
// reads them: empty pieces kept, none after a final delimiter.
template <typename Visit> void forEachPiece(std::string_view text, char delimiter, Visit visit) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find(delimiter, start);
        if (end == std::string_view::npos) {
            visit(text.substr(start));
            return;
        }
        visit(text.substr(start, end - start));
        start = end + 1;
    }
}

// Per byte, which name decoders may change it: kPlainChanges for an escape
// or a plus sign, kUtf8Changes also for a byte beyond ASCII.
constexpr uint8_t kPlainChanges = 1;
constexpr uint8_t kUtf8Changes = 2;

constexpr std::array<uint8_t, 256> kNameChanges = [] {
    std::array<uint8_t, 256> table{};
    for (size_t c = 0x80; c < table.size(); ++c) {
        table[c] = kUtf8Changes;
    }
    table['%'] = table['+'] = kPlainChanges | kUtf8Changes;
    return table;
}();

// True when the name decoder would give the name back as it is: one table
// look-up a byte, since every variable's name is asked.
bool decodingKeeps(std::string_view name, bool useUtf8) {
    const uint8_t changes = useUtf8 ? kUtf8Changes : kPlainChanges;
    for (const char c : name) {
        if ((kNameChanges[static_cast<unsigned char>(c)] & changes) != 0) {
            return false;
        }
    }
    return true;
}

std::string decoded(std::string_view name, bool useUtf8) {
    return useUtf8 ? urlDecodeToAnsi(name) : urlDecode(name);
}

// The decoded name of a view into the parsed text: that view itself when
// decoding keeps it, which is the usual name, else a copy kept in the list.
std::string_view decodeName(std::string_view name, bool useUtf8, PairList& pairs) {
    return decodingKeeps(name, useUtf8) ? name : pairs.keep(decoded(name, useUtf8));
}

// Splits text at '=' and calls append with the parts two by two, as name
// and value, after the first `skipped` parts; a name left without a value
// is dropped.
template <typename Append> void walkPairs(std::string_view text, size_t skipped, Append append) {
    size_t index = 0;
    std::string_view name;
    forEachPiece(text, '=', [&](std::string_view part) {
        if (index < skipped) {
            ++index;
        } else if ((index++ - skipped) % 2 == 0) {
            name = part;
        } else {
            append(name, part);
        }
    });
}

// Each pair of a nested cookie repeats the outer name in its own; past this
// many bytes the outer name is cut there, so that a long outer name with
// many pairs cannot multiply a request's size. Cookie names are far shorter.
constexpr size_t kNestedOuterNameMax = 256;

// outer=k1=v1&k2=v2: the first item's first part names the cookie, each
// pair after it is stored as outer.name.
int32_t parseNestedCookie(std::string_view piece, bool useUtf8, PairList& pairs) {
    int32_t count = 0;
    std::string_view outer;
    std::string joined;
    forEachPiece(piece, '&', [&](std::string_view item) {
        size_t skipped = 0;
        if (outer.empty() && !item.empty()) {
            outer = item.substr(0, item.find('='));
            skipped = 1;
        }
        walkPairs(item, skipped, [&](std::string_view name, std::string_view value) {
            joined.assign(outer.substr(0, kNestedOuterNameMax));
            joined += '.';
            joined.append(name);
            if (!decodingKeeps(joined, useUtf8)) {
                joined = decoded(joined, useUtf8);
            }
            pairs.add(pairs.keep(joined), value);
            ++count;
        });
    });
    return count;
}

int32_t parsePlainCookie(std::string_view piece, bool useUtf8, PairList& pairs) {
    int32_t count = 0;
    walkPairs(piece, 0, [&](std::string_view name, std::string_view value) {
        pairs.add(decodeName(name, useUtf8, pairs), value);
        ++count;
    });
    return count;
}

} // namespace

int32_t engine::parseCookie(std::string_view text, bool useUtf8, PairList& pairs) {
    pairs.clear();
    int32_t count = 0;
    forEachPiece(text, ';', [&](std::string_view piece) {
        if (countChar(piece, '=') < 3) {
            count += parsePlainCookie(piece, useUtf8, pairs);
        } else {
            count += parseNestedCookie(piece, useUtf8, pairs);
        }
    });
    return count;
}

int32_t engine::parseQuery(std::string_view text, bool useUtf8, PairList& pairs) {
    pairs.clear();
    int32_t count = 0;
    forEachPiece(text, '&', [&](std::string_view piece) {
        const size_t equals = piece.find('=');
        if (piece.size() < 2 || equals == std::string_view::npos || equals == 0) {
            return;
        }
        const std::string_view name = decodeName(piece.substr(0, equals), useUtf8, pairs);
        if (name.empty()) {
            return;
        }
        pairs.add(name, piece.substr(equals + 1));
        ++count;
    });
    return count;
}

int32_t engine::splitString(std::string_view text, char delimiter,
                            std::vector<std::string>& pieces) {
    pieces.clear();
    forEachPiece(text, delimiter,
                 [&pieces](std::string_view piece) { pieces.emplace_back(piece); });
    return static_cast<int32_t>(pieces.size());
}

int32_t engine::countChar(std::string_view text, char c) {
    return static_cast<int32_t>(std::count(text.begin(), text.end(), c));
}

} // namespace ostrum
