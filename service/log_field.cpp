#include "service/log_field.h"

namespace ostrum {
namespace {

// Percent-encodes the bytes below lowestKept, and 0x7F.
void appendEncoded(std::string& out, std::string_view text, unsigned char lowestKept) {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= lowestKept && byte != 0x7F) {
            out.push_back(c);
            continue;
        }
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
    }
}

} // namespace

void appendLogField(std::string& out, std::string_view text) {
    appendEncoded(out, text, 0x21);
}

std::string logField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEncoded(out, text, 0x21);
    return out;
}

std::string logLineText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendEncoded(out, text, 0x20);
    return out;
}

} // namespace ostrum
