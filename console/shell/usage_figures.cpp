#include "console/shell/usage_figures.h"

#include "platform/proc/process_times.h"

#include <cmath>
#include <thread>

namespace console {

double cpuPercent(std::chrono::nanoseconds cpu, std::chrono::nanoseconds wall,
                  unsigned processors) {
    if (wall.count() <= 0 || processors == 0) {
        return 0;
    }
    const double percent = 100.0 * double(cpu.count()) / (double(wall.count()) * processors);
    return percent < 0 || percent > 100 ? 0 : percent;
}

QString cpuFigureText(double percent) {
    return QString::number(std::nearbyint(percent), 'f', 0) + QLatin1Char('%');
}

// A process that was absent or restarted has no previous times to compare
// with: its whole use so far would read as a burst.
double CpuUsage::sample(pid_t pid) {
    platform::proc::ProcessTimes times;
    const bool read = pid > 0 && platform::proc::processTimes(pid, times);
    const std::chrono::nanoseconds cpu = times.kernel + times.user;
    const bool comparable = read && pid == m_pid && m_clock.isValid();
    const std::chrono::nanoseconds wall(comparable ? m_clock.nsecsElapsed() : 0);
    const double percent =
        comparable
            ? cpuPercent(cpu - m_cpu, wall, std::max(1u, std::thread::hardware_concurrency()))
            : 0;
    m_pid = read ? pid : 0;
    m_cpu = cpu;
    m_clock.start();
    return percent;
}

} // namespace console
