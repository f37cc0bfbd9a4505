#include "platform/netfilter/operator_log.h"

#include <gtest/gtest.h>

namespace {

using platform::netfilter::ReportGate;

TEST(ReportGate, LetsOneReportAMinuteThroughForEachKey) {
    ReportGate gate;
    const ReportGate::Clock::time_point start{};
    const auto at = [&](int seconds) { return start + std::chrono::seconds(seconds); };
    EXPECT_TRUE(gate.open("127.0.0.1:8080", at(0)));
    EXPECT_FALSE(gate.open("127.0.0.1:8080", at(59)));
    EXPECT_TRUE(gate.open("[::1]:8080", at(1))) << "each address has its own minute";
    EXPECT_TRUE(gate.open("127.0.0.1:8080", at(60)));
    EXPECT_FALSE(gate.open("127.0.0.1:8080", at(119)));
    gate.clear();
    EXPECT_TRUE(gate.open("127.0.0.1:8080", at(119))) << "a new start reports at once";
}

} // namespace
