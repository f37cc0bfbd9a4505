#pragma once

#include <cstdint>

namespace platform::proc {

// Total physical memory of the machine in bytes; 0 when unknown.
uint64_t totalPhysicalMemory();

} // namespace platform::proc
