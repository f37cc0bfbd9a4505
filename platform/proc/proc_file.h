#pragma once

#include <string>

namespace platform::proc {

// The whole content of a small file such as /proc/<pid>/stat. False when it
// cannot be opened or read (a process may end while it is read).
[[nodiscard]] bool readProcFile(const std::string& path, std::string& out);

} // namespace platform::proc
