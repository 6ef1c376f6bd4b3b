// Which screens the full-screen saver must cover besides its own window, worked out from
// the monitors the system reports.
#pragma once

#include <cstdint>
#include <vector>

struct MonitorRect {
    std::int32_t left, top, right, bottom;
    bool operator==(const MonitorRect& other) const {
        return left == other.left && top == other.top && right == other.right &&
               bottom == other.bottom;
    }
};

struct MonitorEntry {
    MonitorRect rect;
    bool primary;
};

// The rectangles that get a cover window: every monitor but the primary, once each. A
// monitor without area, or one lying wholly within the primary (a cloned display), gets
// none: a topmost cover there would hide the show itself.
std::vector<MonitorRect> coverRects(const std::vector<MonitorEntry>& monitors);
