#include "platform/text.h"

#include <array>
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

} // namespace

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
