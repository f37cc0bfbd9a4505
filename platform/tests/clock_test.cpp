#include "platform/clock.h"
#include "platform/testing/fake_clock.h"

#include <gtest/gtest.h>

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
