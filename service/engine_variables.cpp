#include "service/decoders.h"
#include "service/engine.h"

#include <algorithm>

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

void splitInto(std::string_view text, char delimiter, std::vector<std::string_view>& parts) {
    parts.clear();
    forEachPiece(text, delimiter, [&parts](std::string_view piece) { parts.push_back(piece); });
}

std::string decodeName(std::string_view name, bool useUtf8) {
    return useUtf8 ? urlDecodeToAnsi(name) : urlDecode(name);
}

// Walks parts[first..] as name, value pairs; a name without a value is dropped.
template <typename Append>
void walkPairs(const std::vector<std::string_view>& parts, size_t first, Append append) {
    for (size_t i = first; i + 1 < parts.size(); i += 2) {
        append(parts[i], parts[i + 1]);
    }
}

// Each pair of a nested cookie repeats the outer name in its own; past this
// many bytes the outer name is cut there, so that a long outer name with
// many pairs cannot multiply a request's size. Cookie names are far shorter.
constexpr size_t kNestedOuterNameMax = 256;

// outer=k1=v1&k2=v2: the first item's first part names the cookie, each
// pair after it is stored as outer.name.
int32_t parseNestedCookie(std::string_view piece, bool useUtf8, PairList& pairs,
                          std::vector<std::string_view>& parts) {
    int32_t count = 0;
    std::string_view outer;
    std::string joined;
    forEachPiece(piece, '&', [&](std::string_view item) {
        splitInto(item, '=', parts);
        size_t first = 0;
        if (outer.empty() && !parts.empty()) {
            outer = parts[0];
            first = 1;
        }
        walkPairs(parts, first, [&](std::string_view name, std::string_view value) {
            joined.assign(outer.substr(0, kNestedOuterNameMax));
            joined += '.';
            joined.append(name);
            pairs.emplace_back(decodeName(joined, useUtf8), std::string(value));
            ++count;
        });
    });
    return count;
}

int32_t parsePlainCookie(std::string_view piece, bool useUtf8, PairList& pairs,
                         std::vector<std::string_view>& parts) {
    int32_t count = 0;
    splitInto(piece, '=', parts);
    walkPairs(parts, 0, [&](std::string_view name, std::string_view value) {
        pairs.emplace_back(decodeName(name, useUtf8), std::string(value));
        ++count;
    });
    return count;
}

} // namespace

int32_t engine::parseCookie(std::string_view text, bool useUtf8, PairList& pairs) {
    pairs.clear();
    int32_t count = 0;
    std::vector<std::string_view> parts;
    forEachPiece(text, ';', [&](std::string_view piece) {
        if (countChar(piece, '=') < 3) {
            count += parsePlainCookie(piece, useUtf8, pairs, parts);
        } else {
            count += parseNestedCookie(piece, useUtf8, pairs, parts);
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
        std::string name = decodeName(piece.substr(0, equals), useUtf8);
        if (name.empty()) {
            return;
        }
        pairs.emplace_back(std::move(name), std::string(piece.substr(equals + 1)));
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
