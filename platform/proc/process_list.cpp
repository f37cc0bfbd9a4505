#include "platform/proc/process_list.h"

#include "platform/proc/own_processes.h"
#include "platform/proc/proc_stat.h"

#include <algorithm>
#include <charconv>
#include <csignal>
#include <dirent.h>
#include <strings.h>
#include <unistd.h>

namespace platform::proc {
namespace {

std::vector<pid_t> allProcesses() {
    std::vector<pid_t> ids;
    DIR* dir = opendir("/proc");
    if (dir == nullptr) {
        return ids;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string_view name = entry->d_name;
        pid_t pid = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), pid);
        if (error == std::errc() && end == name.data() + name.size() && pid > 0) {
            ids.push_back(pid);
        }
    }
    closedir(dir);
    std::sort(ids.begin(), ids.end());
    return ids;
}

bool sameName(const std::string& a, std::string_view b) {
    return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

} // namespace

std::string processFileName(pid_t pid) {
    const std::string target = executablePath(pid);
    if (!target.empty()) {
        return target.substr(target.rfind('/') + 1);
    }
    // Kernel threads and processes of others that cannot be read: the short name.
    ProcStat stat;
    return readProcStat(pid, stat) ? stat.comm : std::string();
}

std::vector<pid_t> processesByName(std::string_view name) {
    std::vector<pid_t> matching;
    for (const pid_t pid : allProcesses()) {
        if (sameName(processFileName(pid), name) && isProcessAlive(pid, 0)) {
            matching.push_back(pid);
        }
    }
    return matching;
}

pid_t processIdOf(std::string_view name) {
    const std::vector<pid_t> ids = processesByName(name);
    return ids.empty() ? 0 : ids.front();
}

int terminateProcesses(std::string_view name) {
    int ended = 0;
    for (const pid_t pid : processesByName(name)) {
        if (pid != getpid() && kill(pid, SIGKILL) == 0) {
            ++ended;
        }
    }
    return ended;
}

} // namespace platform::proc
