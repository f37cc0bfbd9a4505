#pragma once

#include <chrono>
#include <sys/types.h>

namespace platform::proc {

// CPU time a process has used so far, in the kernel and in user mode.
struct ProcessTimes {
    std::chrono::nanoseconds kernel{0};
    std::chrono::nanoseconds user{0};
};

// False (and both times 0) when the process cannot be read.
[[nodiscard]] bool processTimes(pid_t pid, ProcessTimes& out);

} // namespace platform::proc
