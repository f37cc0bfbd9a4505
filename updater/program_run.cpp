#include "updater/program_run.h"

#include "platform/proc/proc_stat.h"
#include "platform/proc/program_start.h"
#include "updater/update_trace.h"

#include <csignal>
#include <thread>

namespace ostrum::updater {

void runHiddenAndWait(const std::string& program, const std::vector<std::string>& args,
                      const EventPump& pump, std::chrono::milliseconds limit) {
    using namespace platform::proc;
    using Clock = std::chrono::steady_clock;
    const pid_t pid = startProgram(program, args, StartOptions{Window::Hidden, Wait::No, {}, {}});
    if (pid == 0) {
        UPD_TRACE("cannot start " + program);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        return;
    }
    ProcStat stat;
    if (!readProcStat(pid, stat)) {
        return; // ended and collected already
    }
    const Clock::time_point deadline = Clock::now() + limit;
    while (isProcessAlive(pid, stat.startTicks)) {
        if (Clock::now() >= deadline) {
            UPD_TRACE("time limit passed, ending " + program);
            kill(pid, SIGKILL);
            return;
        }
        if (pump) {
            pump();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

std::string commandText(const std::string& program, const std::vector<std::string>& args) {
    std::string text = program;
    for (const std::string& arg : args) {
        text += " " + arg;
    }
    return text;
}

} // namespace ostrum::updater
