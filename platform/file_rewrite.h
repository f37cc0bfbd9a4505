#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// Replaces a file's whole content the way an operator expects of a settings
// file: through a symbolic link to its target; keeping the file's owner,
// group and mode; durable (the file and its folder are synced) and never
// half-written, by writing a temporary file beside it and renaming it over
// the old one. Where that would lose the owner (the caller may not give the
// file away) or the folder takes no new file, the file is rewritten in
// place: its space is reserved first, and the old content is put back when
// the write fails. A missing file is created. False when it failed.
[[nodiscard]] bool rewriteFile(const std::string& path, std::string_view content);

// The whole content of a file of at most maxBytes; false when it cannot be
// read (a folder included) or is larger.
[[nodiscard]] bool readWholeFile(const std::string& path, std::string& out, size_t maxBytes);

// The file a path names once symbolic links are followed (at most 40, as
// the kernel does); the path itself when it is no link.
std::string linkTarget(const std::string& path);

} // namespace platform
