#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::svc {

// Starts program in a session of its own, in "/", with standard streams on
// /dev/null, default signal handling, and the caller's environment plus
// extra ("NAME=value"; these replace variables of the same names). A reaper
// thread collects it when it ends. 0 or the error of the start.
[[nodiscard]] int spawnDetached(const std::string& program, const std::vector<std::string>& extra,
                                pid_t& pid);

} // namespace platform::svc
