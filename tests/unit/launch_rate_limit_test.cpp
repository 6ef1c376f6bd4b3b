#include "host/launch_rate_limit.h"

#include <gtest/gtest.h>

namespace {

std::uint64_t fakeNow = 0;

std::uint64_t fakeClock() {
    return fakeNow;
}

TEST(LaunchRateLimit, LetsOneLaunchThroughPerSecondOfAFlood) {
    fakeNow = 5000;
    LaunchRateLimit limit(fakeClock, 1000);
    int admitted = 0;
    // 3.5 s of clicks, one every millisecond.
    for (int i = 0; i < 3500; ++i, ++fakeNow)
        admitted += limit.admit() ? 1 : 0;
    EXPECT_EQ(admitted, 4) << "launches at 5000, 6000, 7000 and 8000 ms";
}

TEST(LaunchRateLimit, FirstClickGoesAtOnceEvenAtClockZero) {
    fakeNow = 0;
    LaunchRateLimit limit(fakeClock, 1000);
    EXPECT_TRUE(limit.admit());
    fakeNow = 999;
    EXPECT_FALSE(limit.admit());
    fakeNow = 1000;
    EXPECT_TRUE(limit.admit());
}

TEST(LaunchRateLimit, RefusedClicksDoNotPushTheNextLaunchBack) {
    fakeNow = 100;
    LaunchRateLimit limit(fakeClock, 1000);
    EXPECT_TRUE(limit.admit());
    fakeNow = 1099;
    EXPECT_FALSE(limit.admit());
    fakeNow = 1100;
    EXPECT_TRUE(limit.admit());
}

TEST(LaunchRateLimit, AClockGoingBackFreesNothing) {
    fakeNow = 10000;
    LaunchRateLimit limit(fakeClock, 1000);
    EXPECT_TRUE(limit.admit());
    fakeNow = 10;
    EXPECT_FALSE(limit.admit());
    fakeNow = 11000;
    EXPECT_TRUE(limit.admit());
}

} // namespace
