#include "host/monitor_layout.h"

#include <gtest/gtest.h>

namespace {

constexpr MonitorRect primaryScreen = {0, 0, 1024, 768};

TEST(CoverRects, OneCoverForEachMonitorButThePrimaryWhereverItLies) {
    const std::vector<MonitorEntry> monitors = {
        {{1024, 0, 1824, 600}, false},
        {primaryScreen, true},
        {{-1280, -200, 0, 824}, false}, // left of and above the primary: negative origin
    };
    const std::vector<MonitorRect> expected = {{1024, 0, 1824, 600}, {-1280, -200, 0, 824}};
    EXPECT_EQ(coverRects(monitors), expected);
}

TEST(CoverRects, NoCoverThatWouldHideTheShow) {
    // A single screen, a clone of the primary, a monitor inside it and one without area.
    EXPECT_TRUE(coverRects({{primaryScreen, true}}).empty());
    EXPECT_TRUE(coverRects({{primaryScreen, true},
                            {primaryScreen, false},
                            {{100, 100, 500, 400}, false},
                            {{2000, 0, 2000, 768}, false}})
                    .empty());
}

TEST(CoverRects, AMonitorReportedTwiceGetsOneCover) {
    const MonitorRect second = {1024, 0, 1824, 600};
    const std::vector<MonitorRect> expected = {second};
    EXPECT_EQ(coverRects({{primaryScreen, true}, {second, false}, {second, false}}), expected);
}

TEST(CoverRects, WithoutAPrimaryFlagTheMonitorAtTheOriginKeepsTheShow) {
    const MonitorRect second = {1024, 0, 1824, 600};
    const std::vector<MonitorRect> expected = {second};
    EXPECT_EQ(coverRects({{second, false}, {primaryScreen, false}}), expected);
    // None holds the origin either: each is covered, none is read as the primary.
    const std::vector<MonitorRect> both = {second, {-800, 0, 0, 600}};
    EXPECT_EQ(coverRects({{second, false}, {{-800, 0, 0, 600}, false}}), both);
}

} // namespace

namespace {
const MonitorEntry primaryEntry = {primaryScreen, true};
const MonitorEntry rightEntry = {{1024, 0, 1824, 600}, false};
const MonitorEntry leftEntry = {{-1280, -200, 0, 824}, false};
} // namespace

TEST(MonitorLayoutChange, TheSameMonitorsInAnotherOrderAreNoChange) {
    EXPECT_TRUE(
        sameLayout({primaryEntry, rightEntry, leftEntry}, {leftEntry, primaryEntry, rightEntry}));
    EXPECT_TRUE(sameLayout({}, {}));
}

TEST(MonitorLayoutChange, AMonitorAddedRemovedMovedResizedOrMadePrimaryIsAChange) {
    const std::vector<MonitorEntry> two = {primaryEntry, rightEntry};
    MonitorEntry moved = rightEntry;
    moved.rect.top = 100;
    moved.rect.bottom = 700;
    MonitorEntry resized = rightEntry;
    resized.rect.right = 2304;
    MonitorEntry nowPrimary = rightEntry;
    nowPrimary.primary = true;
    MonitorEntry noLongerPrimary = primaryEntry;
    noLongerPrimary.primary = false;
    const std::vector<std::vector<MonitorEntry>> changed = {
        {primaryEntry},
        {primaryEntry, rightEntry, leftEntry},
        {primaryEntry, moved},
        {primaryEntry, resized},
        {noLongerPrimary, nowPrimary},
        {primaryEntry, primaryEntry},
    };
    for (std::size_t i = 0; i < changed.size(); ++i) {
        EXPECT_FALSE(sameLayout(two, changed[i])) << "layout " << i;
        EXPECT_FALSE(sameLayout(changed[i], two)) << "layout " << i;
    }
}

TEST(MonitorLayoutChange, EveryCanvasStartsAtZeroWhereverItsMonitorLies) {
    for (const MonitorEntry& monitor : {rightEntry, leftEntry}) {
        const TargetGeometry canvas = monitorCanvas(monitor.rect);
        const MonitorRect& r = monitor.rect;
        EXPECT_EQ((std::vector<std::int32_t>{canvas.left, canvas.top, canvas.right, canvas.bottom,
                                             canvas.originX, canvas.originY}),
                  (std::vector<std::int32_t>{0, 0, r.right - r.left, r.bottom - r.top, 0, 0}))
            << "canvas of the monitor at " << r.left << "," << r.top;
    }
    const TargetGeometry none = monitorCanvas({2000, 0, 2000, 768});
    EXPECT_EQ(none.right - none.left, 0) << "a monitor without area gives no canvas";
}
