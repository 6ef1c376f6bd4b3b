// Which screens the full-screen saver must cover besides its own window, worked out from
// the monitors the system reports, and when a report means a new layout.
#pragma once

#include "engine/reveal.h"

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

// Whether two reports describe the same monitors, in whatever order they came. The system
// announces a display change also on wake and to every window at once: only a layout that
// differs remakes the shows.
bool sameLayout(std::vector<MonitorEntry> before, std::vector<MonitorEntry> after);

// The canvas of a show in a window over `monitor`: the window's client area, from 0 in
// both directions wherever the monitor lies, left of or above the primary included.
TargetGeometry monitorCanvas(const MonitorRect& monitor);
