#include "updater/system_info.h"

#include "platform/proc/physical_memory.h"
#include "platform/proc/processor_id.h"

namespace ostrum::updater {

std::string machineCode() {
    std::string id = platform::proc::processorId();
    return id.empty() ? std::string("0000000000000000") : id;
}

platform::proc::OsVersion osVersionInfo() {
    return platform::proc::osVersion();
}

uint64_t physicalMemoryKB() {
    return (platform::proc::totalPhysicalMemory() + 512) / 1024;
}

} // namespace ostrum::updater
