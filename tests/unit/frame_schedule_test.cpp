#include "engine/frame_schedule.h"

#include <gtest/gtest.h>

namespace {

constexpr std::int64_t ticksPerSecond = 10000000; // the usual performance-counter rate
constexpr std::uint8_t defaultDropPeriod = 15;
constexpr std::uint32_t defaultWaveSize = 2;

TEST(RefreshRate, DisplaysThatReportNoRateArePacedAtSixtyHertz) {
    EXPECT_EQ(pacingRefreshHz(0), 60u);
    EXPECT_EQ(pacingRefreshHz(1), 60u);
    EXPECT_EQ(pacingRefreshHz(75), 75u);
    EXPECT_EQ(pacingRefreshHz(144), 144u);
}

TEST(RefreshRate, PeriodIsOneRefreshAndNeverZero) {
    EXPECT_EQ(refreshPeriodTicks(ticksPerSecond, 60), 166666);
    EXPECT_EQ(refreshPeriodTicks(ticksPerSecond, 0), 166666);
    EXPECT_EQ(refreshPeriodTicks(30, 60), 1);
}

TEST(RefreshGrid, FramesGoToTheNextRefreshStrictlyAfterNow) {
    const std::int64_t origin = 1000, period = 100;
    EXPECT_EQ(nextRefreshAfter(origin, period, 1000), 1100)
        << "a frame at a refresh waits a whole one";
    EXPECT_EQ(nextRefreshAfter(origin, period, 1001), 1100);
    EXPECT_EQ(nextRefreshAfter(origin, period, 1099), 1100);
    EXPECT_EQ(nextRefreshAfter(origin, period, 1100), 1200);
}

TEST(RefreshGrid, ASlowFrameSkipsToTheGridAndLaterFramesKeepTheirPlaces) {
    const std::int64_t origin = 0, period = 100;
    std::int64_t shown = nextRefreshAfter(origin, period, 10); // 100
    shown = nextRefreshAfter(origin, period, shown + 250);     // 350 -> 400
    EXPECT_EQ(shown, 400);
    // The next quick frame is shown one refresh later, not a whole slow frame later.
    EXPECT_EQ(nextRefreshAfter(origin, period, shown + 5), 500);
}

TEST(RefreshGrid, EveryPacedFrameOfAManyFrameRunHasItsOwnRefresh) {
    const std::int64_t origin = 7, period = 166666;
    std::int64_t previous = origin;
    for (int frame = 0; frame < 560; ++frame) {
        const std::int64_t next = nextRefreshAfter(origin, period, previous + 3000);
        ASSERT_EQ(next - previous, period) << "frame " << frame;
        previous = next;
    }
}

TEST(RefreshGrid, ClocksBeforeTheOriginOrWithoutPeriodNeverWaitBackwards) {
    EXPECT_EQ(nextRefreshAfter(500, 100, 20), 500);
    EXPECT_EQ(nextRefreshAfter(500, 0, 620), 620);
}

TEST(VerticalBlank, WaitsThatReturnAtOnceAreNotReal) {
    EXPECT_FALSE(verticalBlankWaits(0, ticksPerSecond, 3)) << "Wine returns at once";
    EXPECT_FALSE(verticalBlankWaits(3 * ticksPerSecond / 1000, ticksPerSecond, 3));
    EXPECT_TRUE(verticalBlankWaits(3 * ticksPerSecond / 60, ticksPerSecond, 3));
    EXPECT_TRUE(verticalBlankWaits(3 * ticksPerSecond / 240, ticksPerSecond, 3));
    EXPECT_FALSE(verticalBlankWaits(ticksPerSecond, ticksPerSecond, 0));
}

TEST(PicturePace, DefaultSettingsKeepEachPictureAtLeastFiveSecondsAtSixtyHertz) {
    const std::uint32_t refreshes = pacedRefreshesPerCycle(defaultDropPeriod, defaultWaveSize);
    EXPECT_EQ(refreshes, 13u + 360u);
    EXPECT_GE(refreshes / 60.0, 5.0) << refreshes << " refreshes";
}

TEST(PicturePace, CyclesCountTheirRevealAndEveryDropFrame) {
    EXPECT_EQ(pacedRefreshesPerCycle(14, 4), 13u) << "the hold comes on top";
    EXPECT_EQ(pacedRefreshesPerCycle(15, 0), 13u + 130u);
    EXPECT_EQ(pacedRefreshesPerCycle(50, 4), 13u + 36u * 560u);
    EXPECT_EQ(pacedRefreshesPerCycle(0, 0), 13u) << "periods below the range are raised";
    EXPECT_EQ(pacedRefreshesPerCycle(200, 9), 13u + 36u * 560u);
}

} // namespace
