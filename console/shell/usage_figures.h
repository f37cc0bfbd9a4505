#pragma once

#include <QElapsedTimer>
#include <QString>
#include <chrono>
#include <sys/types.h>

namespace console {

// Percent of the machine's processors that `cpu` time used over `wall`;
// anything outside 0 to 100 (and an empty interval) gives 0.
double cpuPercent(std::chrono::nanoseconds cpu, std::chrono::nanoseconds wall, unsigned processors);

// The figure as the status window shows it: a whole percent, a half going to
// the even neighbour, followed by "%".
QString cpuFigureText(double percent);

// The processor use of one process from one sample to the next.
class CpuUsage {
public:
    // Samples pid's kernel and user times and returns the percent since the
    // previous sample; 0 when there is none of the same process to compare
    // with, or the process cannot be read.
    double sample(pid_t pid);

private:
    pid_t m_pid = 0;
    std::chrono::nanoseconds m_cpu{0};
    QElapsedTimer m_clock;
};

} // namespace console
