#include "updater/program_run.h"

#include "platform/proc/program_start.h"
#include "updater/update_trace.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace ostrum::updater {
namespace {

// The child starts in folder with its standard streams on /dev/null and the
// default signal set-up. The platform's own start hands the child to a reaper
// and so loses its exit code, which the updater needs.
pid_t spawnHidden(const std::string& path, const std::vector<std::string>& argv,
                  const std::string& folder) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
    }
    // The archiver and curl get none of the updater's descriptors.
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> pointers;
    for (const std::string& arg : argv) {
        pointers.push_back(const_cast<char*>(arg.c_str()));
    }
    pointers.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, path.c_str(), &actions, &attributes, pointers.data(), environ) != 0) {
        pid = 0;
    }
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// True once the child has ended, with its exit code or kProgramFailed.
bool collected(pid_t pid, int& result) {
    int status = 0;
    pid_t done = 0;
    while ((done = waitpid(pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (done == 0) {
        return false;
    }
    result = done == pid && WIFEXITED(status) ? WEXITSTATUS(status) : kProgramFailed;
    return true;
}

} // namespace

int runHiddenAndWait(const std::string& program, const std::vector<std::string>& args,
                     const std::string& folder, const EventPump& pump,
                     std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::string> argv{program};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string path = platform::proc::findProgram(program, {});
    const pid_t pid = path.empty() ? 0 : spawnHidden(path, argv, folder);
    if (pid == 0) {
        UPD_TRACE("cannot start " + program);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return kProgramFailed;
    }
    const Clock::time_point deadline = Clock::now() + limit;
    int result = kProgramFailed;
    while (!collected(pid, result)) {
        if (Clock::now() >= deadline) {
            UPD_TRACE("time limit passed, ending " + program);
            kill(pid, SIGKILL);
            while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
            }
            return kProgramFailed;
        }
        if (pump) {
            pump();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    UPD_TRACE(program + " exited with " + std::to_string(result));
    return result;
}

std::string commandText(const std::string& program, const std::vector<std::string>& args) {
    std::string text = program;
    for (const std::string& arg : args) {
        text += " " + arg;
    }
    return text;
}

} // namespace ostrum::updater
