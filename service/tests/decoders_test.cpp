#include "platform/text.h"
#include "service/decoders.h"

#include <cctype>
#include <gtest/gtest.h>
#include <random>
#include <string>

namespace ostrum {
namespace {

using namespace std::string_literals;

struct DecodeCase {
    std::string input;
    std::string expected;
};

std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (const char c : bytes) {
        out += digits[(static_cast<unsigned char>(c) >> 4) & 0xF];
        out += digits[static_cast<unsigned char>(c) & 0xF];
        out += ' ';
    }
    return out;
}

TEST(Decoders, DecodeLowerReadsPairsLikeStrtolAndLowerCases) {
    const DecodeCase cases[] = {
        {"/A%42c", "/abc"}, {"%zz", "\0"s},           {"%ZZx", "\0x"s}, {"%4z", "\x04"},
        {"%41", "a"},       {"%2B+", "++"},           {"%%4z", "\0z"s}, {"%-1", "\0"s},
        {"AB%", "ab%"},     {"AB%4", "ab%4"},         {"%", "%"},       {"%A", "%a"},
        {"", ""},           {"\xC4\xD6", "\xC4\xD6"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(hex(decodeLower(c.input)), hex(c.expected)) << "input " << c.input;
    }
}

TEST(Decoders, UrlDecodeKeepsCaseAndTurnsPlusIntoBlank) {
    const DecodeCase cases[] = {
        {"a+b", "a b"},  {"%41%62", "Ab"}, {"SeLeCt%20x", "SeLeCt x"}, {"%4z", "\xFF"},
        {"%z4", "\xF4"}, {"%00a", "\0a"s}, {"100%", "100%"},           {"%4", "%4"},
        {"%+", "% "},    {"%%%", "\xFF"},  {"%%4z", "\xF4z"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(hex(urlDecode(c.input)), hex(c.expected)) << "input " << c.input;
    }
}

TEST(Decoders, HexPairValue) {
    struct Case {
        char c1;
        char c2;
        uint8_t expected;
    };
    const Case cases[] = {
        {'4', 'z', 0xFF}, {'z', '4', 0xF4}, {'4', '1', 0x41}, {'a', 'F', 0xAF},
        {'A', 'f', 0xAF}, {'g', 'g', 0xFF}, {'0', '0', 0x00}, {'\0', '7', 0xF7},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(int(hexPairValue(c.c1, c.c2)), int(c.expected)) << c.c1 << c.c2;
    }
}

// Nothing is dropped and no later byte is taken into a broken sequence: a
// byte that starts no well-formed sequence becomes one '?'.
TEST(Decoders, Utf8ToAnsiConvertsWellFormedSequencesOnly) {
    const std::string thai = "\xE0\xB8\x81"; // U+0E01, not in GBK
    char probe[2];
    ASSERT_EQ(platform::wideUnitToAnsi(0x0E01, probe), 0) << "code page maps U+0E01";
    const DecodeCase cases[] = {
        {"\xE4\xB8\xAD", "\xD6\xD0"},
        {"a\xE4\xB8\xADz", "a\xD6\xD0z"},
        {"caf\xC3\xA9", "caf\xA8\xA6"}, // two-byte e acute
        {"x" + thai + "y", "x?y"},
        {"\xE0\x81\x81", "???"}, // overlong
        {"\xED\xA0\x80", "???"}, // surrogate
        {"\xC0\xA7'", "?\?'"},   // an overlong apostrophe keeps the real one after it
        {"\xDF'or", "?'or"},
        {"\xE4'or", "?'or"},
        {"ab\xE4\xB8", "ab??"},
        {"ab\xE4", "ab?"},
        {"\xFF", "?"},
        {"\xF0\x9F\x98\x80!", "??\?\?!"},
        {"ab\x80\x80\x80xy", "ab???xy"},
        {"ab\0cd"s, "ab\0cd"s},
        {"plain", "plain"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(hex(utf8ToAnsi(c.input.data(), c.input.size())), hex(c.expected))
            << "input " << hex(c.input);
    }
    EXPECT_EQ(utf8ToAnsi(nullptr, 0), "");
}

TEST(Decoders, UrlDecodeToAnsiDecodesThenConverts) {
    const DecodeCase cases[] = {
        {"%E4%B8%AD", "\xD6\xD0"},
        {"%e4%b8%ad+x", "\xD6\xD0 x"},
        {"%E4%B8%AD%00abc", "\xD6\xD0\0abc"s},
        {"ab%00%E4%B8%AD", "ab\0\xD6\xD0"s},
        {"%00", "\0"s},
        {"%C3%A9", "\xA8\xA6"},
        {"caf%C3%A9", "caf\xA8\xA6"},
        {"caf%C3", "caf?"},
        {"%FF", "?"},
        {"%E4%B8", "??"},
        {"abc%", "abc%"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(hex(urlDecodeToAnsi(c.input)), hex(c.expected)) << "input " << c.input;
    }
}

TEST(Decoders, ToLowerTouchesOnlyAsciiLetters) {
    std::string text = "AbZ@[\xC4\xD6-09";
    toLower(text);
    EXPECT_EQ(text, "abz@[\xC4\xD6-09");
}

std::string lowered(std::string text) {
    toLower(text);
    return text;
}

TEST(Decoders, NormalFormIsTheLoweredDecodedValue) {
    const std::string values[] = {
        "SeLeCt%20x", "%27 OR 1=1", "%E4%B8%AD%41", "A+B%2b", "%", "%4", "%00TAIL", "",
    };
    std::string out = "left over";
    for (const std::string& value : values) {
        normalForm(value, false, out);
        EXPECT_EQ(hex(out), hex(lowered(urlDecode(value)))) << "input " << value;
        normalForm(value, true, out);
        EXPECT_EQ(hex(out), hex(lowered(urlDecodeToAnsi(value)))) << "input " << value;
    }
}

// Hostile input: random bytes drawn mostly from the characters the decoders
// treat specially. Nothing may read past the value, no value is emptied,
// and every form agrees.
TEST(Decoders, RandomInputStaysWithinBoundsAndFormsAgree) {
    std::mt19937 random(12345);
    const std::string alphabet = "%%%+0aFz\xE4\xB8\xAD\x80\xFF\0"s;
    std::string out;
    for (int round = 0; round < 3000; ++round) {
        std::string value(random() % 12, ' ');
        for (char& c : value) {
            c = alphabet[random() % alphabet.size()];
        }
        EXPECT_LE(decodeLower(value).size(), value.size());
        EXPECT_LE(urlDecode(value).size(), value.size());
        EXPECT_LE(utf8ToAnsi(value.data(), value.size()).size(), value.size());
        normalForm(value, true, out);
        EXPECT_EQ(out, lowered(urlDecodeToAnsi(value))) << hex(value);
        EXPECT_EQ(out.empty(), value.empty()) << hex(value);
        normalForm(value, false, out);
        EXPECT_EQ(out, lowered(urlDecode(value))) << hex(value);
    }
}

// normalForm written plainly, one step after the other, with the C
// library's tolower: the word-at-a-time form must give the same bytes.
std::string plainNormalForm(const std::string& value, bool useUtf8) {
    std::string decoded;
    for (size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '%' && i + 2 < value.size()) {
            decoded += char(hexPairValue(value[i + 1], value[i + 2]));
            i += 2;
        } else {
            decoded += value[i] == '+' ? ' ' : value[i];
        }
    }
    if (useUtf8) {
        decoded = utf8ToAnsi(decoded.data(), decoded.size());
    }
    for (char& c : decoded) {
        c = char(std::tolower(static_cast<unsigned char>(c)));
    }
    return decoded;
}

void expectPlainNormalForm(const std::string& value) {
    std::string out = "left over from an earlier value";
    for (const bool utf8 : {false, true}) {
        normalForm(value, utf8, out);
        ASSERT_EQ(hex(out), hex(plainNormalForm(value, utf8))) << hex(value) << " utf8 " << utf8;
    }
}

TEST(Decoders, NormalFormMatchesThePlainForm) {
    const std::string mixed = "AbCdEfGhIjKlMnOpQrStUvWxYz+0123456789-%41%zZ";
    // Every byte value alone, escaped, and at each place of a run long
    // enough to fill words on both sides.
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, char(b));
        static const char digits[] = "0123456789ABCDEF";
        const std::string escaped = {'%', digits[b >> 4], digits[b & 0xF]};
        expectPlainNormalForm(byte);
        expectPlainNormalForm(escaped);
        for (size_t at = 0; at <= 24; ++at) {
            std::string value = mixed.substr(0, 24);
            value.insert(at, byte);
            expectPlainNormalForm(value);
            value.insert(at, escaped);
            expectPlainNormalForm(value);
        }
    }
    // Every length, with '%' last, one before last, or before non-hex, and
    // escapes and pluses on either side of each word boundary.
    for (size_t length = 0; length <= 70; ++length) {
        std::string value;
        while (value.size() < length) {
            value += mixed;
        }
        value.resize(length);
        expectPlainNormalForm(value);
        for (size_t back = 1; back <= 3 && back <= length; ++back) {
            std::string percent = value;
            percent[length - back] = '%';
            expectPlainNormalForm(percent);
        }
        for (const char* insert : {"%4", "%G1", "%1G", "%%41", "+", "%2b", "%"}) {
            std::string around = value;
            around.insert(length / 2, insert);
            expectPlainNormalForm(around);
        }
    }
    std::mt19937 random(2024);
    const std::string alphabet = "%%%++09afAFGZgz \xC4\xD6\xE4\xB8\xAD\x80\xFF\0"s;
    for (int round = 0; round < 20000; ++round) {
        std::string value(random() % 71, ' ');
        for (char& c : value) {
            c = random() % 4 == 0 ? char(random()) : alphabet[random() % alphabet.size()];
        }
        expectPlainNormalForm(value);
    }
}

// The quick check may only claim what normalForm then does.
TEST(Decoders, NormalFormKeepsOnlyValuesThatNormalFormGivesBack) {
    EXPECT_TRUE(normalFormKeeps("search-terms.for_the/page-1=x", true));
    EXPECT_TRUE(normalFormKeeps("", true));
    for (const char* changed : {"A", "a%20", "a+b", "%"}) {
        EXPECT_FALSE(normalFormKeeps(changed, false)) << changed;
        EXPECT_FALSE(normalFormKeeps(changed, true)) << changed;
    }
    EXPECT_TRUE(normalFormKeeps("\xE4\xB8\xAD", false));
    EXPECT_FALSE(normalFormKeeps("\xE4\xB8\xAD", true));

    std::mt19937 random(99);
    const std::string alphabet = "%+aZz09 \xE4\xB8\xAD\x80\xFF\0"s;
    std::string out;
    for (int round = 0; round < 3000; ++round) {
        std::string value(random() % 8, ' ');
        for (char& c : value) {
            c = alphabet[random() % alphabet.size()];
        }
        for (const bool utf8 : {false, true}) {
            normalForm(value, utf8, out);
            if (normalFormKeeps(value, utf8)) {
                EXPECT_EQ(out, value) << hex(value) << " utf8 " << utf8;
            }
        }
    }
}

} // namespace
} // namespace ostrum
