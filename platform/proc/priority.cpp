#include "platform/proc/priority.h"

#include <charconv>
#include <dirent.h>
#include <string_view>
#include <sys/resource.h>

namespace platform::proc {
namespace {

// The nice value of a high-priority process: well ahead of normal work, short
// of the real-time band.
constexpr int kHighNice = -10;

} // namespace

bool raiseOwnPriority() {
    // A nice value belongs to each thread on Linux, so every task gets it.
    DIR* tasks = opendir("/proc/self/task");
    if (tasks == nullptr) {
        return false;
    }
    bool raised = true;
    while (const dirent* entry = readdir(tasks)) {
        const std::string_view name = entry->d_name;
        int tid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), tid);
        if (error == std::errc() && end == name.data() + name.size()) {
            raised = setpriority(PRIO_PROCESS, id_t(tid), kHighNice) == 0 && raised;
        }
    }
    closedir(tasks);
    return raised;
}

} // namespace platform::proc
