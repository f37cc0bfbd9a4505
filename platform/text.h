#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The iconv code set that plays the "ANSI code page": GBK unless
// OSTRUM_ACP names another.
const std::string& ansiCodeSet();

// Converts one UTF-16 unit to the ANSI code page. Writes one or two bytes
// to out and returns their number; 0 when the code page has no character
// for the unit (the caller decides what stands in its place).
int wideUnitToAnsi(uint16_t unit, char out[2]);

} // namespace platform
