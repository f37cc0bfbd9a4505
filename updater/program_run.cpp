#include "updater/program_run.h"

#include "platform/proc/program_start.h"
#include "updater/update_trace.h"

#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <thread>

namespace ostrum::updater {
namespace {

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
    // Standard streams on /dev/null and no other descriptor: the archiver
    // and curl get nothing of the updater's.
    platform::proc::StartOptions options;
    options.window = platform::proc::Window::Hidden;
    options.wait = platform::proc::Wait::Caller;
    options.workingFolder = folder;
    const pid_t pid = platform::proc::startProgram(program, args, options);
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
