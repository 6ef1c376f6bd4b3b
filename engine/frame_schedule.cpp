#include "engine/frame_schedule.h"

#include "engine/drop_geometry.h"
#include "engine/folder_walk.h"

namespace {
// Shorter waits than this (a 500 Hz refresh) cannot have waited for a display.
constexpr std::int64_t fastestRefreshHz = 500;
} // namespace

std::uint32_t pacingRefreshHz(std::uint32_t reportedHz) {
    return reportedHz <= 1 ? defaultRefreshHz : reportedHz;
}

std::int64_t refreshPeriodTicks(std::int64_t ticksPerSecond, std::uint32_t refreshHz) {
    const std::int64_t period = ticksPerSecond / (refreshHz == 0 ? defaultRefreshHz : refreshHz);
    return period > 0 ? period : 1;
}

std::int64_t nextRefreshAfter(std::int64_t origin, std::int64_t period, std::int64_t now) {
    if (period <= 0)
        return now;
    if (now < origin)
        return origin;
    return origin + ((now - origin) / period + 1) * period;
}

namespace {
// The refresh of the grid nearest `at`; a tie goes to the later one.
std::int64_t nearestRefresh(std::int64_t origin, std::int64_t period, std::int64_t at) {
    if (at <= origin)
        return origin;
    return origin + (at - origin + period / 2) / period * period;
}
} // namespace

StepClock::StepClock(std::int64_t ticksPerSecond, std::uint32_t refreshHz, std::int64_t origin)
    : origin_(origin), refreshPeriod_(refreshPeriodTicks(ticksPerSecond, refreshHz)),
      stepTicks_(refreshPeriod_), stepParts_(1), base_(origin), steps_(0) {
    if (pacingRefreshHz(refreshHz) > showStepsPerSecond && ticksPerSecond > 0) {
        stepTicks_ = ticksPerSecond;
        stepParts_ = showStepsPerSecond;
    }
}

std::int64_t StepClock::nextStepAt(std::int64_t now) {
    ++steps_;
    const std::int64_t deadline = base_ + steps_ * stepTicks_ / stepParts_;
    const std::int64_t shown = nearestRefresh(origin_, refreshPeriod_, deadline);
    if (shown > now)
        return shown;
    // Late by less than a step, as when the thread was kept from the processor a moment:
    // the next refresh, and the clock keeps its deadlines.
    if (now - deadline < stepTicks_ / stepParts_)
        return nextRefreshAfter(origin_, refreshPeriod_, now);
    base_ = nextRefreshAfter(origin_, refreshPeriod_, now);
    steps_ = 0;
    return base_;
}

bool verticalBlankWaits(std::int64_t elapsedTicks, std::int64_t ticksPerSecond,
                        std::uint32_t waits) {
    if (waits == 0 || ticksPerSecond <= 0)
        return false;
    // elapsed / waits >= ticksPerSecond / fastestRefreshHz, without dividing.
    return elapsedTicks * fastestRefreshHz >= ticksPerSecond * static_cast<std::int64_t>(waits);
}

std::uint32_t pacedRefreshesPerCycle(std::uint8_t dropPeriod, std::uint32_t waveSize) {
    const std::uint8_t period = effectiveDropPeriod(dropPeriod);
    const std::uint32_t drops = period > holdStep + 1u ? period - holdStep - 1u : 0u;
    return revealStepCount +
           drops * static_cast<std::uint32_t>(framesPerDrop(dropPresetFor(waveSize)));
}
