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
        {0x4E2D, 2, "\xD6\xD0"},                  // 中
        {0x6587, 2, "\xCE\xC4"},                  // 文
        {0x0041, 1, "A"},        {0x0E01, 0, ""}, // Thai: not in the code page
        {0xD800, 0, ""},                          // a lone surrogate
    };
    for (const Case& c : cases) {
        char out[2] = {};
        const int n = platform::wideUnitToAnsi(c.unit, out);
        EXPECT_EQ(n, c.length) << std::hex << c.unit;
        EXPECT_EQ(std::string(out, size_t(n)), std::string(c.bytes)) << std::hex << c.unit;
    }
}

TEST(AnsiCodePage, ConvertsWholeTextsBothWays) {
    EXPECT_EQ(platform::utf8ToAnsi("a\xE4\xB8\xAD\xE6\x96\x87"
                                   "b"),
              "a\xD6\xD0\xCE\xC4"
              "b");
    EXPECT_EQ(platform::ansiToUtf8("a\xD6\xD0\xCE\xC4"
                                   "b"),
              "a\xE4\xB8\xAD\xE6\x96\x87"
              "b");
    EXPECT_EQ(platform::utf8ToAnsi("\r\n"), "\r\n");
    EXPECT_EQ(platform::utf8ToAnsi(""), "");
    EXPECT_EQ(platform::utf8ToAnsi(std::string(1000, 'x')), std::string(1000, 'x'));
}

TEST(AnsiCodePage, MarksWhatCannotBeConverted) {
    EXPECT_EQ(platform::utf8ToAnsi("a\xE0\xB8\x81"
                                   "b"),
              "a?b"); // Thai
    EXPECT_EQ(platform::utf8ToAnsi("a\xFF"
                                   "b"),
              "a?b");                               // not UTF-8
    EXPECT_EQ(platform::ansiToUtf8("a\xD6"), "a?"); // cut-off pair
    EXPECT_EQ(platform::ansiToUtf8("\xD6\xD0\xFF"), "\xE4\xB8\xAD?");
}

} // namespace
