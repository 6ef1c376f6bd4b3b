#include "pictures/step5_fit_rect.h"

#include <gtest/gtest.h>

#include <climits>
#include <ostream>

static bool operator==(const SourceRect& a, const SourceRect& b) {
    return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

static std::ostream& operator<<(std::ostream& out, const SourceRect& r) {
    return out << "(" << r.x << ", " << r.y << ", " << r.width << " x " << r.height << ")";
}

static SourceRect rect(int x, int y, int width, int height) {
    SourceRect r;
    r.x = x;
    r.y = y;
    r.width = width;
    r.height = height;
    return r;
}

TEST(FitSourceRect, CropsEqualStripsFromTheSideThatSticksOut) {
    // Square picture on a landscape surface: strips at top and bottom.
    EXPECT_EQ(rect(0, 125, 1000, 750), fitSourceRect(1000, 1000, 800, 600, 0, 0));
    // Wider than the surface: strips left and right, each edge truncated.
    EXPECT_EQ(rect(16, 0, 266, 200), fitSourceRect(300, 200, 1024, 768, 0, 0));
    // Portrait picture on a landscape surface.
    EXPECT_EQ(rect(0, 250, 600, 450), fitSourceRect(600, 950, 1024, 768, 0, 0));
}

TEST(FitSourceRect, UsesTheWholePictureWhenTheShapesMatch) {
    EXPECT_EQ(rect(0, 0, 640, 480), fitSourceRect(640, 480, 1024, 768, 0, 0));
    EXPECT_EQ(rect(0, 0, 1024, 768), fitSourceRect(1024, 768, 1024, 768, 0, 0));
    EXPECT_EQ(rect(0, 0, 4000, 3000), fitSourceRect(4000, 3000, 320, 240, 0, 0));
}

TEST(FitSourceRect, ShiftMovesTheRectangleWithoutResizingIt) {
    EXPECT_EQ(rect(26, -5, 266, 200), fitSourceRect(300, 200, 1024, 768, 10, -5));
    EXPECT_EQ(rect(3, 132, 1000, 750), fitSourceRect(1000, 1000, 800, 600, 3, 7));
}

TEST(FitSourceRect, DegenerateSizesGiveAnEmptyRectangle) {
    const int sizes[][4] = {{0, 100, 800, 600}, {100, 0, 800, 600},  {100, 100, 0, 600},
                            {100, 100, 800, 0}, {-5, 100, 800, 600}, {100, 100, 800, -1},
                            {0, 0, 0, 0}};
    for (const auto& s : sizes) {
        const SourceRect r = fitSourceRect(s[0], s[1], s[2], s[3], 0, 0);
        EXPECT_TRUE(r.empty()) << "bitmap " << s[0] << "x" << s[1] << " on " << s[2] << "x" << s[3]
                               << " gave " << r;
    }
}

TEST(FitSourceRect, ASliverKeepsAtLeastOnePixelInsideThePicture) {
    // One pixel wide and very tall: the kept height truncates below one row.
    const SourceRect tall = fitSourceRect(1, 10000, 1024, 768, 0, 0);
    EXPECT_FALSE(tall.empty()) << tall;
    EXPECT_EQ(1, tall.width);
    EXPECT_LE(tall.y + tall.height, 10000) << tall;

    const SourceRect wide = fitSourceRect(10000, 1, 768, 1024, 0, 0);
    EXPECT_FALSE(wide.empty()) << wide;
    EXPECT_EQ(1, wide.height);
    EXPECT_LE(wide.x + wide.width, 10000) << wide;
}

TEST(FitSourceRect, ExtremeSizesStayInsideIntRange) {
    const SourceRect huge = fitSourceRect(INT_MAX, 1, 1, INT_MAX, INT_MAX, 0);
    EXPECT_FALSE(huge.empty()) << huge;
    EXPECT_GE(huge.x, 0) << huge;
    const SourceRect big = fitSourceRect(INT_MAX, INT_MAX, 1024, 768, 0, 0);
    EXPECT_EQ(INT_MAX, big.width) << big;
    EXPECT_GT(big.y, 0) << big;
}
