#include "service/log_field.h"

namespace ostrum {

void appendLogField(std::string& out, std::string_view text) {
    constexpr char kHex[] = "0123456789ABCDEF";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte > 0x20 && byte != 0x7F) {
            out.push_back(c);
            continue;
        }
        out.push_back('%');
        out.push_back(kHex[byte >> 4]);
        out.push_back(kHex[byte & 0x0F]);
    }
}

std::string logField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    appendLogField(out, text);
    return out;
}

} // namespace ostrum
