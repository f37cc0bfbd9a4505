#pragma once

// How the layer tells the operator of a failure only they can mend, such as
// a web server that cannot be reached: the service hands over its run log.

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace platform::netfilter {

// Takes one line, without a line end; called on the layer's worker threads.
using OperatorLog = std::function<void(const std::string& line)>;

// Takes effect at the next nf_init; an empty one silences the reports.
void setOperatorLog(OperatorLog log);

// Lets one report a minute through for each key: the operator needs to know
// that a web server fails, not of every connection that failed to reach it.
// The keys are the configured web server addresses, so they stay few.
class ReportGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::minutes kInterval{1};

    [[nodiscard]] bool open(const std::string& key, Clock::time_point now);
    void clear();

private:
    std::mutex m_lock;
    std::map<std::string, Clock::time_point> m_last;
};

} // namespace platform::netfilter
