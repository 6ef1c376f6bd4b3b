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
