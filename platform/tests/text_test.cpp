#include "platform/text.h"

#include <gtest/gtest.h>

namespace {

TEST(AnsiCodePage, ConvertsUnitsToGbk) {
    ASSERT_EQ(platform::ansiCodeSet(), "GBK");
    struct Case {
        uint16_t unit;
        int length;
        const char* bytes;
    };
    const Case cases[] = {
        {0x4E2D, 2, "\xD6\xD0"}, // 中
        {0x6587, 2, "\xCE\xC4"}, // 文
        {0x0041, 1, "A"},
        {0x0E01, 0, ""}, // Thai: not in the code page
        {0xD800, 0, ""}, // a lone surrogate
    };
    for (const Case& c : cases) {
        char out[2] = {};
        const int n = platform::wideUnitToAnsi(c.unit, out);
        EXPECT_EQ(n, c.length) << std::hex << c.unit;
        EXPECT_EQ(std::string(out, size_t(n)), std::string(c.bytes)) << std::hex << c.unit;
    }
}

} // namespace
