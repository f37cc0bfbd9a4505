#include "platform/proc/working_set.h"

#include "platform/proc/proc_file.h"

#include <charconv>
#include <string>
#include <unistd.h>

namespace platform::proc {

uint64_t workingSetBytes(pid_t pid) {
    if (pid <= 0) {
        return 0;
    }
    // statm: total size, then resident pages.
    std::string text;
    if (!readProcFile("/proc/" + std::to_string(pid) + "/statm", text)) {
        return 0;
    }
    const size_t blank = text.find(' ');
    if (blank == std::string::npos) {
        return 0;
    }
    const char* const first = text.data() + blank + 1;
    uint64_t residentPages = 0;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), residentPages);
    return error == std::errc() ? residentPages * uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

} // namespace platform::proc
