#include "platform/proc/program_start.h"

#include "platform/proc/program_file.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace platform::proc {
namespace {

bool isExecutableFile(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           access(path.c_str(), X_OK) == 0;
}

std::vector<std::string> searchFolders(const std::string& firstFolder) {
    std::vector<std::string> folders{firstFolder.empty() ? programFolder() : firstFolder};
    const char* path = getenv("PATH");
    std::string_view rest = path != nullptr ? path : "/usr/local/bin:/usr/bin:/bin";
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const std::string_view folder = rest.substr(0, colon);
        // An empty PATH entry means the current folder.
        folders.emplace_back(folder.empty() ? "." : folder);
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
    }
    return folders;
}

// Spawn attributes that give the child the default signal set-up, whatever
// the caller blocked or ignored (the service dispatcher blocks its controls).
class SpawnAttributes {
public:
    SpawnAttributes() {
        posix_spawnattr_init(&m_attr);
        sigset_t none;
        sigemptyset(&none);
        sigset_t all;
        sigfillset(&all);
        posix_spawnattr_setsigmask(&m_attr, &none);
        posix_spawnattr_setsigdefault(&m_attr, &all);
        posix_spawnattr_setflags(&m_attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { posix_spawnattr_destroy(&m_attr); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;
    const posix_spawnattr_t* get() const { return &m_attr; }

private:
    posix_spawnattr_t m_attr;
};

class FileActions {
public:
    FileActions(Window window, const std::string& workingFolder) {
        posix_spawn_file_actions_init(&m_actions);
        if (!workingFolder.empty()) {
            posix_spawn_file_actions_addchdir_np(&m_actions, workingFolder.c_str());
        }
        if (window == Window::Hidden) {
            for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
                posix_spawn_file_actions_addopen(&m_actions, fd, "/dev/null", O_RDWR, 0);
            }
        }
        // Only the standard streams pass: a descriptor that slipped past
        // close-on-exec (a listening socket, a log) would outlive the caller.
        posix_spawn_file_actions_addclosefrom_np(&m_actions, STDERR_FILENO + 1);
    }
    ~FileActions() { posix_spawn_file_actions_destroy(&m_actions); }
    FileActions(const FileActions&) = delete;
    FileActions& operator=(const FileActions&) = delete;
    const posix_spawn_file_actions_t* get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

void collect(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

std::string findProgram(std::string_view program, const std::string& firstFolder) {
    if (program.empty()) {
        return {};
    }
    if (program.find('/') != std::string_view::npos) {
        return isExecutableFile(std::string(program)) ? std::string(program) : std::string();
    }
    for (const std::string& folder : searchFolders(firstFolder)) {
        std::string candidate = folder + "/" + std::string(program);
        if (isExecutableFile(candidate)) {
            return candidate;
        }
    }
    return {};
}

pid_t startProgram(std::string_view program, const std::vector<std::string>& args,
                   const StartOptions& options) {
    const std::string path = findProgram(program, options.firstFolder);
    if (path.empty()) {
        return 0;
    }
    const std::string name(program);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(name.c_str()));
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const SpawnAttributes attributes;
    const FileActions actions(options.window, options.workingFolder);
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), actions.get(), attributes.get(), argv.data(), environ) !=
        0) {
        return 0;
    }
    if (options.wait == Wait::UntilEnd) {
        collect(pid);
    } else if (options.wait == Wait::No) {
        std::thread(collect, pid).detach();
    }
    return pid;
}

} // namespace platform::proc
