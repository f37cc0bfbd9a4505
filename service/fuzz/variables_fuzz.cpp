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
// its first, and never under an empty name.
void checkQueryPairs(std::string_view text, const ostrum::PairList& pairs) {
    size_t expected = 0;
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = std::min(text.find('&', start), text.size());
        const std::string_view piece = text.substr(start, end - start);
        expected +=
            piece.size() >= 2 && piece.find('=') != std::string_view::npos && piece.find('=') != 0
                ? 1
                : 0;
        start = end + 1;
    }
    check(pairs.size() == expected);
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
        const int32_t variables = rules.parseQuery(text, useUtf8, pairs);
        check(variables == static_cast<int32_t>(pairs.size()));
        checkQueryPairs(text, pairs);
    }
    if (size > 0) {
        checkSplit(rules, text.substr(1), text[0]);
    }
    return 0;
}
