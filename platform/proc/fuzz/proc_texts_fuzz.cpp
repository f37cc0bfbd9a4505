// The system texts the process layer reads: /proc/<pid>/stat lines,
// os-release files and kernel release names.

#include "platform/proc/os_version.h"
#include "platform/proc/proc_stat.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::proc::ProcStat stat;
    (void)platform::proc::parseProcStat(text, stat);
    (void)platform::proc::prettyName(text);
    platform::proc::OsVersion version;
    platform::proc::parseKernelRelease(text, version);
    return 0;
}
