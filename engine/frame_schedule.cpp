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
