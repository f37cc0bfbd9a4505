#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ostrum {

// %XX decoding (the C library's base-16 reading of the two characters) and
// lower-casing; '+' stays '+'. The form of request URLs.
std::string decodeLower(std::string_view value);

// %XX decoding by hexPairValue and '+' as a blank, case kept.
std::string urlDecode(std::string_view value);

// urlDecode, then utf8ToAnsi. Never empties a value that was not empty.
std::string urlDecodeToAnsi(std::string_view value);

// UTF-8 characters to the ANSI code page; bytes below 0x80 (zero bytes
// too) copied. A byte that starts no well-formed sequence, and a character
// the code page lacks, become one '?' each.
std::string utf8ToAnsi(const char* bytes, size_t length);

// (nibble of c1 << 4) | value of c2; a non-hex c1 counts 15, a non-hex c2
// makes the result 0xFF.
uint8_t hexPairValue(char c1, char c2);

// Lower-cases every byte with the C library's tolower, in place.
void toLower(std::string& text);

// The value an attack rule of transform "normal" sees: decoded (with the
// UTF-8 conversion when useUtf8) and lower-cased. Written into out, so a hot
// caller can keep one buffer.
void normalForm(std::string_view value, bool useUtf8, std::string& out);

// true only when normalForm would give the value back unchanged; a quick
// byte check, so false does not prove that it changes.
bool normalFormKeeps(std::string_view value, bool useUtf8);

} // namespace ostrum
