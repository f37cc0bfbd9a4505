#include "service/decoders.h"

#include "platform/text.h"

#include <array>
#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>

namespace ostrum {
namespace {

int hexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// The C library's tolower read once into a table, so lower-casing costs one
// load a byte on the request path. The service never changes its locale.
const std::array<char, 256>& lowerTable() {
    static const std::array<char, 256> table = [] {
        std::array<char, 256> built{};
        for (int c = 0; c < 256; ++c) {
            built[size_t(c)] = char(std::tolower(c));
        }
        return built;
    }();
    return table;
}

// Per byte, whether normalForm copies it as it stands wherever it sits:
// neither an escape nor a plus sign nor changed by lower-casing, and, for
// the UTF-8 conversion, ASCII. asciiLower: lower-casing changes 'A'-'Z'
// only, as in the "C" locale, so that eight bytes can be checked at once.
struct KeptBytes {
    std::array<bool, 256> plain{};
    std::array<bool, 256> utf8{};
    bool asciiLower = true;
};

const KeptBytes& keptBytes() {
    static const KeptBytes table = [] {
        const std::array<char, 256>& lower = lowerTable();
        KeptBytes built;
        for (int c = 0; c < 256; ++c) {
            const bool kept = c != '%' && c != '+' && lower[size_t(c)] == char(c);
            built.plain[size_t(c)] = kept;
            built.utf8[size_t(c)] = kept && c < 0x80;
            const int ascii = c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
            built.asciiLower &= lower[size_t(c)] == char(ascii);
        }
        return built;
    }();
    return table;
}

constexpr size_t kKeptRun = 8 * sizeof(uint64_t);
constexpr uint64_t kEveryByte = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// The high bit of each byte of `low` (high bits clear) that equals c.
uint64_t bytesEqual(uint64_t low, char c) {
    const uint64_t diff = low ^ (kEveryByte * static_cast<unsigned char>(c));
    return ~(diff + kEveryByte * 0x7F) & kHighBits;
}

// The high bit of each byte of `low` (high bits clear) in 'A'-'Z'.
uint64_t capitalBytes(uint64_t low) {
    const uint64_t atLeastA = (low + kEveryByte * (0x80 - 'A')) & kHighBits;
    const uint64_t aboveZ = (low + kEveryByte * (0x80 - 'Z' - 1)) & kHighBits;
    return atLeastA & ~aboveZ;
}

// The high bit of each byte of the word that normalForm may change, under
// an ASCII-only lower-casing.
uint64_t changingBytes(uint64_t word, uint64_t highChanges) {
    const uint64_t high = word & kHighBits;
    const uint64_t low = word & ~kHighBits;
    const uint64_t special = capitalBytes(low) | bytesEqual(low, '%') | bytesEqual(low, '+');
    return (special & ~high) | (high & highChanges);
}

// The word with its ASCII capitals lower-cased and each '+' a blank; other
// bytes kept.
uint64_t plainWord(uint64_t word) {
    const uint64_t low = word & ~kHighBits;
    const uint64_t capitals = capitalBytes(low) & ~word;
    const uint64_t pluses = bytesEqual(low, '+') & ~word;
    return (word | (capitals >> 2)) ^ ((pluses >> 7) * ('+' ^ ' '));
}

// The high bit of each '%' in the word.
uint64_t percentBytes(uint64_t word) {
    return bytesEqual(word & ~kHighBits, '%') & ~word;
}

void lowerInPlace(char* text, size_t length) {
    const std::array<char, 256>& lower = lowerTable();
    for (size_t i = 0; i < length; ++i) {
        text[i] = lower[static_cast<unsigned char>(text[i])];
    }
}

// What a base-16 strtol of "0x" d1 d2 gives: both digits, d1 alone, or 0.
char strtolPairValue(char d1, char d2) {
    const int high = hexDigitValue(d1);
    if (high < 0) {
        return 0;
    }
    const int low = hexDigitValue(d2);
    return char(low < 0 ? high : (high << 4) | low);
}

// A '%' without two characters after it stays an ordinary character, so
// no decoder reads past the value.
bool hasPair(std::string_view value, size_t percent) {
    return percent + 2 < value.size();
}

// Writes the decoded value to out, which holds value.size() bytes (decoding
// never lengthens); returns the decoded length.
size_t urlDecodeInto(std::string_view value, char* out) {
    size_t n = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '%' && hasPair(value, i)) {
            out[n++] = char(hexPairValue(value[i + 1], value[i + 2]));
            i += 2;
        } else {
            out[n++] = c == '+' ? ' ' : c;
        }
    }
    return n;
}

bool isContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The UTF-16 unit of a well-formed two- or three-byte UTF-8 sequence at the
// start of text, and the sequence's length; 0 when there is none there.
size_t sequenceAt(const unsigned char* text, size_t left, uint16_t& unit) {
    const unsigned char b0 = text[0];
    if (b0 >= 0xC2 && b0 <= 0xDF && left >= 2 && isContinuation(text[1])) {
        unit = uint16_t(((b0 & 0x1F) << 6) | (text[1] & 0x3F));
        return 2;
    }
    if (b0 < 0xE0 || b0 > 0xEF || left < 3 || !isContinuation(text[1]) ||
        !isContinuation(text[2])) {
        return 0;
    }
    unit = uint16_t(((b0 & 0x0F) << 12) | ((text[1] & 0x3F) << 6) | (text[2] & 0x3F));
    const bool overlong = unit < 0x800;
    const bool surrogate = unit >= 0xD800 && unit <= 0xDFFF;
    return overlong || surrogate ? 0 : 3;
}

// Converts text[0, length) in place: the output never outgrows the input
// (one byte for one, at most two for two or three). A byte that starts no
// well-formed sequence, and a character the code page lacks, become '?'
// and the scan goes on after it: nothing is dropped and no later byte is
// swallowed. Returns the output length.
size_t utf8ToAnsiInPlace(char* text, size_t length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t in = 0;
    size_t out = 0;
    while (in < length) {
        if (bytes[in] < 0x80) {
            text[out++] = text[in++];
            continue;
        }
        uint16_t unit = 0;
        const size_t sequence = sequenceAt(bytes + in, length - in, unit);
        char ansi[2];
        const int produced = sequence == 0 ? 0 : platform::wideUnitToAnsi(unit, ansi);
        if (produced == 0) {
            text[out++] = '?';
        } else {
            text[out++] = ansi[0];
            if (produced == 2) {
                text[out++] = ansi[1];
            }
        }
        in += sequence == 0 ? 1 : sequence;
    }
    return out;
}

// Decoded and converted, in place in out.
size_t urlDecodeToAnsiInto(std::string_view value, char* out) {
    return utf8ToAnsiInPlace(out, urlDecodeInto(value, out));
}

} // namespace

std::string decodeLower(std::string_view value) {
    const std::array<char, 256>& lower = lowerTable();
    std::string out(value.size(), '\0');
    size_t n = 0;
    for (size_t i = 0; i < value.size(); ++i) {
        char c = value[i];
        if (c == '%' && hasPair(value, i)) {
            c = strtolPairValue(value[i + 1], value[i + 2]);
            i += 2;
        }
        out[n++] = lower[static_cast<unsigned char>(c)];
    }
    out.resize(n);
    return out;
}

std::string urlDecode(std::string_view value) {
    std::string out(value.size(), '\0');
    out.resize(urlDecodeInto(value, out.data()));
    return out;
}

std::string urlDecodeToAnsi(std::string_view value) {
    std::string out(value.size(), '\0');
    out.resize(urlDecodeToAnsiInto(value, out.data()));
    return out;
}

std::string utf8ToAnsi(const char* bytes, size_t length) {
    if (bytes == nullptr) {
        return {};
    }
    std::string out(bytes, length);
    out.resize(utf8ToAnsiInPlace(out.data(), out.size()));
    return out;
}

uint8_t hexPairValue(char c1, char c2) {
    const int low = hexDigitValue(c2);
    if (low < 0) {
        return 0xFF;
    }
    const int high = hexDigitValue(c1);
    return uint8_t(((high < 0 ? 15 : high) << 4) | low);
}

void toLower(std::string& text) {
    lowerInPlace(text.data(), text.size());
}

bool normalFormKeeps(std::string_view value, bool useUtf8) {
    const KeptBytes& kept = keptBytes();
    size_t i = 0;
    if (kept.asciiLower) {
        const uint64_t highChanges = useUtf8 ? kHighBits : 0;
        // Words in runs of eight between tests: the branch is rare and the
        // words' checks overlap, yet a changing value stops early.
        uint64_t changing = 0;
        for (; i + sizeof(uint64_t) <= value.size() && changing == 0;) {
            const size_t run = std::min(value.size() - i, kKeptRun) / sizeof(uint64_t);
            for (size_t w = 0; w < run; ++w, i += sizeof(uint64_t)) {
                uint64_t word = 0;
                std::memcpy(&word, value.data() + i, sizeof word);
                changing |= changingBytes(word, highChanges);
            }
        }
        if (changing != 0) {
            return false;
        }
    }
    const std::array<bool, 256>& table = useUtf8 ? kept.utf8 : kept.plain;
    for (; i < value.size(); ++i) {
        if (!table[static_cast<unsigned char>(value[i])]) {
            return false;
        }
    }
    return true;
}

namespace {

// Without the conversion, lower-casing rides along with the decoding.
// Under an ASCII-only lower-casing, eight bytes go at once: a word is
// lower-cased, its '+' made blanks, and stored whole, and the input moves
// up to its first '%', which the byte step then decodes. The store may run
// past the bytes kept, never past out: out keeps pace behind the input,
// so n + 8 <= i + 8 <= value.size().
size_t decodeLowerInto(std::string_view value, char* out) {
    const std::array<char, 256>& lower = lowerTable();
    const bool wordwise = keptBytes().asciiLower && std::endian::native == std::endian::little;
    size_t n = 0;
    size_t i = 0;
    while (i < value.size()) {
        if (wordwise && i + sizeof(uint64_t) <= value.size()) {
            uint64_t word = 0;
            std::memcpy(&word, value.data() + i, sizeof word);
            const uint64_t plain = plainWord(word);
            std::memcpy(out + n, &plain, sizeof plain);
            const uint64_t escapes = percentBytes(word);
            const size_t kept = escapes == 0 ? sizeof word : size_t(std::countr_zero(escapes)) / 8;
            n += kept;
            i += kept;
            if (escapes == 0) {
                continue;
            }
        }
        const char c = value[i];
        if (c == '%' && hasPair(value, i)) {
            out[n++] = lower[hexPairValue(value[i + 1], value[i + 2])];
            i += 3;
        } else {
            out[n++] = lower[static_cast<unsigned char>(c == '+' ? ' ' : c)];
            ++i;
        }
    }
    return n;
}

} // namespace

void normalForm(std::string_view value, bool useUtf8, std::string& out) {
    out.resize(value.size());
    if (!useUtf8) {
        out.resize(decodeLowerInto(value, out.data()));
        return;
    }
    const size_t n = urlDecodeToAnsiInto(value, out.data());
    lowerInPlace(out.data(), n);
    out.resize(n);
}

} // namespace ostrum
