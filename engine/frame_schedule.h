// When paced frames go on the screen: on a grid of display refreshes, so that every frame
// stays visible for at least one refresh and a slow frame delays no later one.
#pragma once

#include <cstdint>

// Used when the display does not say its refresh rate (0 or 1 means "the hardware default").
constexpr std::uint32_t defaultRefreshHz = 60;

// The refresh rate to pace at, given what the display mode reports.
std::uint32_t pacingRefreshHz(std::uint32_t reportedHz);

// Ticks of a clock with `ticksPerSecond` in one refresh at `refreshHz`; at least 1.
std::int64_t refreshPeriodTicks(std::int64_t ticksPerSecond, std::uint32_t refreshHz);

// The first refresh of the grid origin + k * period (k whole) that lies strictly after
// `now`. A frame that took longer than a refresh is shown at the next refresh of the grid,
// so the ones after it keep their places.
std::int64_t nextRefreshAfter(std::int64_t origin, std::int64_t period, std::int64_t now);

// The show's clock: a ripple frame or a reveal step every 60th of a second, on any display.
constexpr std::uint32_t showStepsPerSecond = 60;

// The show's clock laid on a display's refreshes (at origin + k * refresh period, all times
// in ticks of one clock). A display faster than the clock shows each step on the refresh
// nearest its deadline and holds it through the refreshes between; at the clock's rate or
// slower every refresh shows the next step. A step too late for its refresh goes to the next
// one; when it is late by a whole step or more (a slow load, a hold) the clock goes on from
// there, so that such lateness is never made up for by a rush.
class StepClock {
  public:
    StepClock(std::int64_t ticksPerSecond, std::uint32_t refreshHz, std::int64_t origin);

    // A step has just been put on the screen and the time is `now`: the refresh at which the
    // next step goes on, strictly after `now`.
    std::int64_t nextStepAt(std::int64_t now);

    std::int64_t refreshPeriod() const { return refreshPeriod_; }

  private:
    std::int64_t origin_, refreshPeriod_;
    // A step lasts stepTicks_ / stepParts_ ticks: exact for 60 steps in any second.
    std::int64_t stepTicks_, stepParts_;
    std::int64_t base_;  // the refresh the clock last started from
    std::int64_t steps_; // steps since then
};

// Whether a blocking wait for the vertical blank really waited: `waits` waits, after a
// first one that lines up with the blank, took `elapsedTicks` together. No display
// refreshes faster than 500 times a second, so quicker waits returned without waiting.
bool verticalBlankWaits(std::int64_t elapsedTicks, std::int64_t ticksPerSecond,
                        std::uint32_t waits);

// Refreshes a picture's cycle spends on paced frames: its reveal steps and the frames of
// its drops, for a drop period (raised or lowered to the slider's range) and a wave size.
// The 2-second hold of the shortest period comes on top.
std::uint32_t pacedRefreshesPerCycle(std::uint8_t dropPeriod, std::uint32_t waveSize);
