#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

// The iconv code set that plays the "ANSI code page": GBK unless
// OSTRUM_ACP names another.
const std::string& ansiCodeSet();

// Converts one UTF-16 unit to the ANSI code page. Writes one or two bytes
// to out and returns their number; 0 when the code page has no character
// for the unit (the caller decides what stands in its place).
int wideUnitToAnsi(uint16_t unit, char out[2]);

// Whole texts between UTF-8 and the ANSI code page, for the 8-bit files of
// the console and the updater. A character the other side has no form for,
// and a malformed or cut-off sequence, becomes '?'.
std::string utf8ToAnsi(std::string_view utf8);
std::string ansiToUtf8(std::string_view ansi);

} // namespace platform
