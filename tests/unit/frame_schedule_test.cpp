#include "engine/frame_schedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

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

namespace {

// The refreshes (counted from the clock's origin) at which `steps` quick steps go on the
// screen, each step taking `workTicks` after the one before is shown.
std::vector<std::int64_t> stepRefreshes(std::uint32_t refreshHz, int steps,
                                        std::int64_t workTicks = 1000) {
    StepClock clock(ticksPerSecond, refreshHz, 0);
    std::vector<std::int64_t> shown;
    std::int64_t at = 0;
    for (int step = 0; step < steps; ++step) {
        at = clock.nextStepAt(at + workTicks);
        shown.push_back(at / clock.refreshPeriod());
    }
    return shown;
}

} // namespace

TEST(StepClock, SixtyStepsASecondOnFasterDisplaysEachOnTheRefreshNearestItsDeadline) {
    for (std::uint32_t hz : {75u, 120u, 144u, 165u, 240u}) {
        const std::vector<std::int64_t> shown = stepRefreshes(hz, 600);
        const double perStep = hz / 60.0;
        for (std::size_t step = 0; step < shown.size(); ++step) {
            const double deadline = (step + 1) * perStep; // in refreshes
            ASSERT_LE(std::abs(shown[step] - deadline), 0.5 + 1e-6)
                << hz << " Hz, step " << step << " shown on refresh " << shown[step]
                << ", its deadline at refresh " << deadline;
            if (step > 0) {
                const std::int64_t held = shown[step] - shown[step - 1];
                ASSERT_TRUE(held == std::int64_t(perStep) || held == std::int64_t(perStep + 0.999))
                    << hz << " Hz, step " << step << " held " << held << " refreshes";
            }
        }
        // 600 steps are 10 s on any display.
        EXPECT_NEAR(shown.back() / double(hz), 10.0, 1.0 / hz) << hz << " Hz";
    }
}

TEST(StepClock, SixtyHertzAndSlowerDisplaysShowTheNextStepAtEveryRefresh) {
    for (std::uint32_t hz : {0u, 50u, 59u, 60u}) {
        const std::vector<std::int64_t> shown = stepRefreshes(hz, 300);
        for (std::size_t step = 0; step < shown.size(); ++step)
            ASSERT_EQ(shown[step], std::int64_t(step) + 1) << hz << " Hz, step " << step;
    }
    // At 60 Hz the clock is the refresh grid the pacer always had.
    StepClock clock(ticksPerSecond, 60, 7);
    std::int64_t previous = 7;
    for (int frame = 0; frame < 100; ++frame) {
        const std::int64_t work = frame == 40 ? 400000 : 3000; // one slow frame
        const std::int64_t next = clock.nextStepAt(previous + work);
        ASSERT_EQ(next, nextRefreshAfter(7, 166666, previous + work)) << "frame " << frame;
        previous = next;
    }
}

TEST(StepClock, ALateStepGoesToTheNextRefreshAndLaterStepsAreNotRushed) {
    StepClock clock(ticksPerSecond, 144, 0);
    const std::int64_t refresh = clock.refreshPeriod();
    std::int64_t at = clock.nextStepAt(1000);
    at = clock.nextStepAt(at + 8 * refresh + 10); // late by more than a step
    EXPECT_EQ(at, 11 * refresh) << "the refresh after the late step is ready (first on 2)";
    for (int step = 0; step < 20; ++step) {
        const std::int64_t next = clock.nextStepAt(at + 1000);
        EXPECT_GE(next - at, 2 * refresh) << "step " << step << " rushed after a late one";
        at = next;
    }
    // A step late by less than a step goes to the next refresh; the ones after keep their
    // deadlines, so a drop does not grow longer with every moment the thread waits.
    StepClock steady(ticksPerSecond, 120, 0);
    const std::int64_t period120 = steady.refreshPeriod();
    std::int64_t shown = steady.nextStepAt(1000);         // refresh 2
    shown = steady.nextStepAt(shown + 5 * period120 / 2); // due on 4, ready after it
    EXPECT_EQ(shown, 4 * period120 + period120) << "the refresh after the late one";
    EXPECT_EQ(steady.nextStepAt(shown + 1000), 6 * period120) << "back on its deadline";
    // And a display off for a minute resumes at the refresh after, not with a minute of steps.
    const std::int64_t resumed = clock.nextStepAt(at + 60 * ticksPerSecond);
    EXPECT_LE(resumed - (at + 60 * ticksPerSecond), refresh);
    EXPECT_GE(clock.nextStepAt(resumed + 1000) - resumed, 2 * refresh);
}
