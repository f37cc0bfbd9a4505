#pragma once

#include <cstdint>
#include <string>

namespace ostrum::updater {

// The machine identifier the server knows this installation by: the
// processor id, "0000000000000000" when there is none.
std::string machineCode();

// The system's name and release, for the server's statistics.
std::string osName();

// Total physical memory in KiB, rounded.
uint64_t physicalMemoryKB();

} // namespace ostrum::updater
