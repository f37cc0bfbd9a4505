#include "platform/clock.h"
#include "platform/testing/fake_clock.h"

#include <ctime>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

TEST(Clock, FakeReplacesTheSystemClockForItsLifetime) {
    {
        platform::FakeClock fake;
        fake.setTick(0xFFFFFFF0u);
        fake.advance(0x20);
        EXPECT_EQ(platform::tickCount(), 0x10u) << "the tick count wraps at 2^32";
        fake.setDate(2026, 12, 31, 23, 59, 59);
        const platform::LocalTime t = platform::localTime();
        EXPECT_EQ(t.year, 2026);
        EXPECT_EQ(t.second, 59);
    }
    const platform::LocalTime now = platform::localTime();
    EXPECT_GE(now.year, 2024) << "the system clock is back";
    EXPECT_GE(now.month, 1);
    EXPECT_LE(now.month, 12);
}

} // namespace

// The local time is converted once a second and reused: it must follow the
// clock across a change of second, never lag a second behind it.
TEST(Clock, LocalTimeFollowsTheChangeOfSecond) {
    const auto secondOfDay = [](int hour, int minute, int second) {
        return (hour * 60 + minute) * 60 + second;
    };
    const auto systemSecond = [&] {
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        std::tm parts{};
        localtime_r(&now.tv_sec, &parts);
        return secondOfDay(parts.tm_hour, parts.tm_min, parts.tm_sec);
    };
    const int start = systemSecond();
    bool crossed = false;
    // A second and a bit of samples crosses at least one change of second.
    for (int sample = 0; sample < 1200 && !crossed; ++sample) {
        const int before = systemSecond();
        const platform::LocalTime t = platform::localTime();
        const int after = systemSecond();
        const int seen = secondOfDay(t.hour, t.minute, t.second);
        EXPECT_TRUE(seen == before || seen == after) << before << " " << seen << " " << after;
        crossed = after != start;
        usleep(1000);
    }
    EXPECT_TRUE(crossed);
}
