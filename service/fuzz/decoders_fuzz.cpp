#include "service/decoders.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string lowered(std::string text) {
    ostrum::toLower(text);
    return text;
}

// normalForm step by step, with the C library's tolower.
std::string plainNormalForm(std::string_view value, bool useUtf8) {
    std::string decoded;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            decoded += char(ostrum::hexPairValue(value[i + 1], value[i + 2]));
            i += 2;
        } else {
            decoded += value[i] == '+' ? ' ' : value[i];
        }
    }
    if (useUtf8) {
        decoded = ostrum::utf8ToAnsi(decoded.data(), decoded.size());
    }
    for (char& c : decoded) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return decoded;
}

} // namespace

// Every decoder on arbitrary bytes: none may grow the value, the UTF-8 form
// never empties a value, the rules' one-pass form equals the composed one
// and the plainly written one, and the quick check that a value is its own
// normal form never errs.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view value(reinterpret_cast<const char*>(data), size);
    check(ostrum::decodeLower(value).size() <= size);
    const std::string decoded = ostrum::urlDecode(value);
    check(decoded.size() <= size);
    const std::string ansi = ostrum::urlDecodeToAnsi(value);
    check(ansi.size() <= decoded.size() && ansi.empty() == decoded.empty());
    check(ostrum::utf8ToAnsi(value.data(), size).size() <= size);
    if (size >= 2) {
        ostrum::hexPairValue(value[0], value[1]);
    }
    std::string normal;
    ostrum::normalForm(value, false, normal);
    check(normal == lowered(decoded) && normal == plainNormalForm(value, false));
    check(!ostrum::normalFormKeeps(value, false) || normal == value);
    ostrum::normalForm(value, true, normal);
    check(normal == lowered(ansi) && normal == plainNormalForm(value, true));
    check(!ostrum::normalFormKeeps(value, true) || normal == value);
    return 0;
}
