#pragma once

#include "platform/clock.h"

namespace platform {

// A clock that moves only when told; installs itself for its lifetime.
class FakeClock final : public Clock {
public:
    FakeClock() { setClockForTest(this); }
    ~FakeClock() override { setClockForTest(nullptr); }
    FakeClock(const FakeClock&) = delete;
    FakeClock& operator=(const FakeClock&) = delete;

    uint32_t tickCount() override { return m_tick; }
    LocalTime localTime() override { return m_time; }

    void setTick(uint32_t tick) { m_tick = tick; }
    void advance(uint32_t ms) { m_tick += ms; }
    void setTime(LocalTime t) { m_time = t; }
    void setDate(int year, int month, int day, int hour = 12, int minute = 0, int second = 0) {
        m_time.year = year;
        m_time.month = month;
        m_time.day = day;
        m_time.hour = hour;
        m_time.minute = minute;
        m_time.second = second;
    }

private:
    uint32_t m_tick = 1000;
    LocalTime m_time{2026, 1, 2, 12, 0, 0, 0, 5};
};

} // namespace platform
