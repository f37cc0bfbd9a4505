#include "platform/proc/process_times.h"

#include "platform/proc/proc_stat.h"

#include <unistd.h>

namespace platform::proc {
namespace {

std::chrono::nanoseconds fromTicks(uint64_t ticks) {
    static const uint64_t perSecond = uint64_t(sysconf(_SC_CLK_TCK));
    return std::chrono::nanoseconds(ticks * (1000000000 / perSecond));
}

} // namespace

bool processTimes(pid_t pid, ProcessTimes& out) {
    out = ProcessTimes{};
    ProcStat stat;
    if (!readProcStat(pid, stat)) {
        return false;
    }
    out.kernel = fromTicks(stat.kernelTicks);
    out.user = fromTicks(stat.userTicks);
    return true;
}

} // namespace platform::proc
