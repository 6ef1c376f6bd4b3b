#include "host/monitor_layout.h"

#include <algorithm>

namespace {

bool empty(const MonitorRect& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

bool ordered(const MonitorEntry& a, const MonitorEntry& b) {
    const MonitorRect& r = a.rect;
    const MonitorRect& s = b.rect;
    if (r.left != s.left)
        return r.left < s.left;
    if (r.top != s.top)
        return r.top < s.top;
    if (r.right != s.right)
        return r.right < s.right;
    if (r.bottom != s.bottom)
        return r.bottom < s.bottom;
    return a.primary < b.primary;
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

bool sameLayout(std::vector<MonitorEntry> before, std::vector<MonitorEntry> after) {
    if (before.size() != after.size())
        return false;
    std::sort(before.begin(), before.end(), ordered);
    std::sort(after.begin(), after.end(), ordered);
    return std::equal(before.begin(), before.end(), after.begin(),
                      [](const MonitorEntry& a, const MonitorEntry& b) {
                          return a.rect == b.rect && a.primary == b.primary;
                      });
}

TargetGeometry monitorCanvas(const MonitorRect& monitor) {
    const std::int32_t width = monitor.right > monitor.left ? monitor.right - monitor.left : 0;
    const std::int32_t height = monitor.bottom > monitor.top ? monitor.bottom - monitor.top : 0;
    return {0, 0, width, height, 0, 0};
}
