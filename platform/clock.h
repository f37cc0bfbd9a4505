#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
    int year = 1970;
    int month = 1; // 1-12
    int day = 1;   // 1-31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int weekday = 4; // 0 = Sunday
};

// Where the time comes from; tests install their own.
class Clock {
public:
    virtual ~Clock() = default;
    // Milliseconds since an arbitrary start, wrapping at 2^32.
    virtual uint32_t tickCount() = 0;
    virtual LocalTime localTime() = 0;
};

Clock& clock();
inline uint32_t tickCount() { return clock().tickCount(); }
inline LocalTime localTime() { return clock().localTime(); }

// Replaces the clock until called again; nullptr restores the system clock.
void setClockForTest(Clock* replacement);

} // namespace platform
