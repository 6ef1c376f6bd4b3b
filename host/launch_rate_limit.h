// Lets a launch through at most once per interval, whoever asks and however often: other
// processes can post the preview as many clicks as they like. Portable, with the clock
// passed in, so that the limit is tested natively.
#pragma once

#include <cstdint>

// Milliseconds of a clock that never goes back.
using MillisecondClock = std::uint64_t (*)();

class LaunchRateLimit {
  public:
    LaunchRateLimit(MillisecondClock clock, std::uint32_t intervalMs)
        : clock_(clock), intervalMs_(intervalMs) {}
    // True when a launch may go now; it is then counted, whether or not it succeeds.
    bool admit();

  private:
    MillisecondClock clock_;
    std::uint32_t intervalMs_;
    bool launched_ = false;
    std::uint64_t lastLaunchMs_ = 0;
};
