#pragma once

#include <string>
#include <string_view>

namespace platform {

// Profile (INI) file access with the semantics the programs rely on:
// section and key names compare without regard to case; a missing key
// gives the default; the value is trimmed of blanks and of one pair of
// enclosing quotes.
std::string readProfileString(std::string_view section, std::string_view key,
                              std::string_view defaultValue, const std::string& path);

// Replaces the key's value in place, or adds the key at the end of its
// section, or adds the section at the end of the file; creates the file
// when it is missing. Every other line is kept byte for byte. The file is
// rewritten as rewriteFile does (owner, mode and links kept, never half
// written). Returns false when it cannot be read or written, and for a
// section, key or value holding CR, LF or NUL, which would split its line.
[[nodiscard]] bool writeProfileString(std::string_view section, std::string_view key,
                                      std::string_view value, const std::string& path);

} // namespace platform
