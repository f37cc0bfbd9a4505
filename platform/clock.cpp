#include "platform/clock.h"

#include <atomic>
#include <ctime>

namespace platform {
namespace {

class SystemClock final : public Clock {
public:
    uint32_t tickCount() override {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        const uint64_t ms = uint64_t(now.tv_sec) * 1000 + uint64_t(now.tv_nsec) / 1000000;
        return uint32_t(ms);
    }

    LocalTime localTime() override {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        // Every log line asks the time; the conversion to local time, which
        // takes the time zone's lock, is done once a second per thread.
        thread_local bool converted = false;
        thread_local time_t convertedSecond = 0;
        thread_local std::tm parts{};
        if (!converted || now.tv_sec != convertedSecond) {
            localtime_r(&now.tv_sec, &parts);
            convertedSecond = now.tv_sec;
            converted = true;
        }
        LocalTime t;
        t.year = parts.tm_year + 1900;
        t.month = parts.tm_mon + 1;
        t.day = parts.tm_mday;
        t.hour = parts.tm_hour;
        t.minute = parts.tm_min;
        t.second = parts.tm_sec;
        t.millisecond = int(now.tv_nsec / 1000000);
        t.weekday = parts.tm_wday;
        return t;
    }
};

SystemClock g_system;
std::atomic<Clock*> g_current{&g_system};

} // namespace

Clock& clock() { return *g_current.load(std::memory_order_acquire); }

void setClockForTest(Clock* replacement) {
    g_current.store(replacement != nullptr ? replacement : &g_system, std::memory_order_release);
}

} // namespace platform
