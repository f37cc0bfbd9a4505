#include "platform/proc/physical_memory.h"

#include <sys/sysinfo.h>

namespace platform::proc {

uint64_t totalPhysicalMemory() {
    struct sysinfo info {};
    if (sysinfo(&info) != 0) {
        return 0;
    }
    return uint64_t(info.totalram) * info.mem_unit;
}

} // namespace platform::proc
