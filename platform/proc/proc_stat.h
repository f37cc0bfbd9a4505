#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace platform::proc {

// The fields of /proc/<pid>/stat that the layer uses; times in clock ticks.
struct ProcStat {
    std::string comm;
    char state = '?';
    uint64_t userTicks = 0;
    uint64_t kernelTicks = 0;
    uint64_t startTicks = 0; // since boot: with the pid, names one process for good
};

// False when the text is not a whole stat line.
[[nodiscard]] bool parseProcStat(std::string_view text, ProcStat& out);
[[nodiscard]] bool readProcStat(pid_t pid, ProcStat& out);

// True while the process runs (a zombie has ended). A startTicks of 0 accepts
// any process with that id; otherwise the id must not have been reused.
bool isProcessAlive(pid_t pid, uint64_t startTicks);

} // namespace platform::proc
