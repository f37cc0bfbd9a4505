#pragma once

#include <cstdint>
#include <sys/types.h>

namespace platform::proc {

// Resident memory of the process in bytes; 0 when it cannot be read.
uint64_t workingSetBytes(pid_t pid);

} // namespace platform::proc
