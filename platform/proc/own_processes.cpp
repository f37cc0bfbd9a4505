#include "platform/proc/own_processes.h"

#include "platform/proc/process_list.h"
#include "platform/proc/program_file.h"

#include <csignal>
#include <filesystem>
#include <unistd.h>

namespace platform::proc {

std::string executablePath(pid_t pid) {
    std::error_code error;
    std::string target =
        std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", error).string();
    // A program replaced while it runs (an update) still names its old file.
    constexpr std::string_view kDeleted = " (deleted)";
    if (target.ends_with(kDeleted)) {
        target.resize(target.size() - kDeleted.size());
    }
    return error ? std::string() : target;
}

std::string programPathIn(const std::string& folder, std::string_view name) {
    if (folder.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path path = std::filesystem::path(folder) / programFileName(name);
    std::filesystem::path resolved = std::filesystem::weakly_canonical(path, error);
    return error ? path.lexically_normal().string() : resolved.string();
}

std::vector<pid_t> ownProcesses(const std::string& folder, std::string_view name) {
    std::vector<pid_t> matching;
    const std::string program = programPathIn(folder, name);
    if (program.empty() || name.empty()) {
        return matching;
    }
    // The name narrows the search; the executable's path decides.
    for (const pid_t pid : processesByName(programFileName(name))) {
        if (executablePath(pid) == program) {
            matching.push_back(pid);
        }
    }
    return matching;
}

pid_t ownProcessIdOf(const std::string& folder, std::string_view name) {
    const std::vector<pid_t> ids = ownProcesses(folder, name);
    return ids.empty() ? 0 : ids.front();
}

int terminateOwnProcesses(const std::string& folder, std::string_view name) {
    int ended = 0;
    for (const pid_t pid : ownProcesses(folder, name)) {
        if (pid != getpid() && kill(pid, SIGKILL) == 0) {
            ++ended;
        }
    }
    return ended;
}

} // namespace platform::proc
