#include "platform/text.h"

#include <array>
#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <mutex>

namespace platform {
namespace {

struct AnsiChar {
    uint8_t length = 0;
    char bytes[2] = {0, 0};
};

using AnsiTable = std::array<AnsiChar, 0x10000>;

AnsiChar convertUnit(iconv_t cd, uint16_t unit) {
    AnsiChar result;
    char in[2] = {char(unit & 0xFF), char(unit >> 8)};
    char out[8];
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = sizeof in;
    size_t outLeft = sizeof out;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == size_t(-1)) {
        return result;
    }
    const size_t produced = sizeof out - outLeft;
    if (produced == 0 || produced > 2) {
        return result;
    }
    result.length = uint8_t(produced);
    result.bytes[0] = out[0];
    result.bytes[1] = produced == 2 ? out[1] : 0;
    return result;
}

// Built once: converting a unit is then one table read on the request path.
const AnsiTable& ansiTable() {
    static const AnsiTable* table = [] {
        auto* built = new AnsiTable();
        iconv_t cd = iconv_open(ansiCodeSet().c_str(), "UTF-16LE");
        if (cd == iconv_t(-1)) {
            return built;
        }
        for (uint32_t unit = 0; unit < 0x10000; ++unit) {
            (*built)[unit] = convertUnit(cd, uint16_t(unit));
        }
        iconv_close(cd);
        return built;
    }();
    return *table;
}

// The length of the unconvertible sequence at text: a UTF-8 character whole,
// one byte of an 8-bit code page.
size_t badSequenceLength(bool utf8, const char* text, size_t left) {
    size_t n = 1;
    while (utf8 && n < left && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        ++n;
    }
    return n;
}

std::string convertText(const char* to, const char* from, std::string_view text) {
    std::string out;
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) {
        return out;
    }
    out.reserve(text.size() * 3 / 2 + 4);
    char* in = const_cast<char*>(text.data());
    size_t inLeft = text.size();
    char buffer[256];
    while (inLeft > 0) {
        char* outPtr = buffer;
        size_t outLeft = sizeof buffer;
        const size_t done = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        out.append(buffer, sizeof buffer - outLeft);
        if (done != size_t(-1) || errno == E2BIG) {
            continue;
        }
        // EILSEQ: a sequence without a form on the other side; EINVAL: cut off at the end.
        out.push_back('?');
        const bool utf8 = std::string_view(from) == "UTF-8";
        const size_t skip = errno == EINVAL ? inLeft : badSequenceLength(utf8, in, inLeft);
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    iconv_close(cd);
    return out;
}

} // namespace

std::string utf8ToAnsi(std::string_view utf8) {
    return convertText(ansiCodeSet().c_str(), "UTF-8", utf8);
}

std::string ansiToUtf8(std::string_view ansi) {
    return convertText("UTF-8", ansiCodeSet().c_str(), ansi);
}

const std::string& ansiCodeSet() {
    static const std::string name = [] {
        const char* chosen = std::getenv("OSTRUM_ACP");
        return std::string(chosen != nullptr && *chosen != '\0' ? chosen : "GBK");
    }();
    return name;
}

int wideUnitToAnsi(uint16_t unit, char out[2]) {
    const AnsiChar& c = ansiTable()[unit];
    out[0] = c.bytes[0];
    out[1] = c.bytes[1];
    return c.length;
}

} // namespace platform
