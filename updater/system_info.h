#pragma once

#include "platform/proc/os_version.h"

#include <cstdint>
#include <string>

namespace ostrum::updater {

// The machine identifier the server knows this installation by: the
// processor id, "0000000000000000" when there is none.
std::string machineCode();

// The system's version record; its name and release tell the server which
// system this is.
platform::proc::OsVersion osVersionInfo();

// Total physical memory in KiB, rounded.
uint64_t physicalMemoryKB();

} // namespace ostrum::updater
