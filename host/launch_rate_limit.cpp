#include "host/launch_rate_limit.h"

bool LaunchRateLimit::admit() {
    std::uint64_t now = clock_();
    // A clock seen going back is not trusted to free the next launch early.
    if (launched_ && (now < lastLaunchMs_ || now - lastLaunchMs_ < intervalMs_))
        return false;
    launched_ = true;
    lastLaunchMs_ = now;
    return true;
}
