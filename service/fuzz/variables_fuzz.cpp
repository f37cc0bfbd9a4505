#include "service/decoders.h"
#include "service/engine.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// Joining the pieces again must give back the text, less a final delimiter.
void checkSplit(ostrum::engine& rules, std::string_view text, char delimiter) {
    std::vector<std::string> pieces;
    const int32_t count = rules.splitString(text, delimiter, pieces);
    check(count == static_cast<int32_t>(pieces.size()));
    std::string joined;
    for (size_t i = 0; i < pieces.size(); ++i) {
        joined += i == 0 ? "" : std::string(1, delimiter);
        joined += pieces[i];
    }
    if (!text.empty() && text.back() == delimiter) {
        text.remove_suffix(1);
    }
    check(joined == text);
}

// parseQuery keeps every piece of two characters or more with an '=' after
// its first, under its decoded name, never an empty one, with the value as
// it stands in the text.
void checkQueryPairs(std::string_view text, bool useUtf8, const ostrum::PairList& pairs) {
    size_t next = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('&', start), text.size());
        const std::string_view piece = text.substr(start, end - start);
        const size_t equals = piece.find('=');
        start = end + 1;
        if (piece.size() < 2 || equals == std::string_view::npos || equals == 0) {
            continue;
        }
        const std::string_view name = piece.substr(0, equals);
        const std::string decoded =
            useUtf8 ? ostrum::urlDecodeToAnsi(name) : ostrum::urlDecode(name);
        if (decoded.empty()) {
            continue;
        }
        check(next < pairs.size());
        check(pairs[next].first == decoded);
        const std::string_view value = pairs[next].second;
        check(value.data() == piece.data() + equals + 1 &&
              value.size() == piece.size() - equals - 1);
        ++next;
    }
    check(next == pairs.size());
    for (const auto& pair : pairs) {
        check(!pair.first.empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ostrum::engine rules;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ostrum::PairList pairs;
    for (bool useUtf8 : {false, true}) {
        const int32_t cookies = rules.parseCookie(text, useUtf8, pairs);
        check(cookies == static_cast<int32_t>(pairs.size()));
        for (const auto& pair : pairs) {
            check(pair.second.empty() ||
                  (pair.second.data() >= text.data() &&
                   pair.second.data() + pair.second.size() <= text.data() + text.size()));
        }
        const int32_t variables = rules.parseQuery(text, useUtf8, pairs);
        check(variables == static_cast<int32_t>(pairs.size()));
        checkQueryPairs(text, useUtf8, pairs);
    }
    if (size > 0) {
        checkSplit(rules, text.substr(1), text[0]);
    }
    return 0;
}
