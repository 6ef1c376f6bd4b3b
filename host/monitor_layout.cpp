#include "host/monitor_layout.h"

#include <algorithm>

namespace {

bool empty(const MonitorRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool inside(const MonitorRect& inner, const MonitorRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

} // namespace

std::vector<MonitorRect> coverRects(const std::vector<MonitorEntry>& monitors) {
    std::vector<MonitorRect> covers;
    auto primary = std::find_if(monitors.begin(), monitors.end(),
                                [](const MonitorEntry& m) { return m.primary; });
    // The primary always holds the origin; reported while the layout changes, that decides.
    if (primary == monitors.end())
        primary = std::find_if(monitors.begin(), monitors.end(), [](const MonitorEntry& m) {
            return m.rect.left <= 0 && m.rect.top <= 0 && m.rect.right > 0 && m.rect.bottom > 0;
        });
    const MonitorEntry* shown = primary == monitors.end() ? nullptr : &*primary;
    for (const MonitorEntry& monitor : monitors) {
        if (&monitor == shown || empty(monitor.rect))
            continue;
        if (shown && inside(monitor.rect, shown->rect))
            continue;
        if (std::find(covers.begin(), covers.end(), monitor.rect) != covers.end())
            continue;
        covers.push_back(monitor.rect);
    }
    return covers;
}
