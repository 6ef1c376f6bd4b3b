#include "engine/drop_geometry.h"

#include "engine/random.h"

#include "test_random.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Target position the drop falls on: its column and row in the patch, with the patch's
// rows counted from the bottom.
int dropColumn(const DropPlacement& p) {
    return p.patchLeft + p.dx;
}
int dropRow(const DropPlacement& p, int patchHalf) {
    return p.patchTop + (2 * patchHalf - 1 - p.dy);
}

} // namespace

TEST(DropGeometry, PresetsByWaveSize) {
    struct Row {
        int radius, strength, half, side, frames;
    };
    const Row rows[] = {{15, 30, 50, 100, 130},
                        {20, 200, 100, 200, 240},
                        {40, 300, 140, 280, 360},
                        {60, 400, 160, 320, 440},
                        {80, 500, 200, 400, 560}};
    for (uint32_t size = 0; size < 5; ++size) {
        DropPreset p = dropPresetFor(size);
        EXPECT_EQ(p.dropRadius, rows[size].radius) << "waveSize " << size;
        EXPECT_EQ(p.dropStrength, rows[size].strength) << "waveSize " << size;
        EXPECT_EQ(p.patchHalf, rows[size].half) << "waveSize " << size;
        EXPECT_EQ(patchSide(p), rows[size].side) << "waveSize " << size;
        EXPECT_EQ(framesPerDrop(p), rows[size].frames) << "waveSize " << size;
        EXPECT_EQ(framesPerDrop(p) % 2, 0) << "every drop must leave current at 0";
    }
}

TEST(DropGeometry, WaveSizesAboveTheLargestUseTheLargest) {
    for (uint32_t size : {5u, 17u, 255u, 4294967295u}) {
        DropPreset p = dropPresetFor(size);
        EXPECT_EQ(p.patchHalf, 200) << "waveSize " << size;
        EXPECT_EQ(p.dropRadius, 80) << "waveSize " << size;
        EXPECT_EQ(p.dropStrength, 500) << "waveSize " << size;
    }
}

TEST(DropGeometry, UnclippedDropRectIsThePatchWithoutItsOuterRing) {
    DropPlacement p = placeDrop(500, 400, 1024, 768, 50);
    EXPECT_EQ(p.dropRect.left, 450);
    EXPECT_EQ(p.dropRect.top, 350);
    EXPECT_EQ(p.dropRect.right, 548);
    EXPECT_EQ(p.dropRect.bottom, 448);
    EXPECT_EQ(p.dx, 50);
    EXPECT_EQ(p.dy, 50);
    EXPECT_EQ(p.patchLeft, 449);
    EXPECT_EQ(p.patchTop, 349);
    EXPECT_EQ(dropColumn(p), 499);
    EXPECT_EQ(dropRow(p, 50), 398);
}

TEST(DropGeometry, ClippingAtEachEdgeMovesTheDropInThePatch) {
    DropPlacement leftTop = placeDrop(60, 80, 1024, 768, 200);
    EXPECT_EQ(leftTop.dropRect.left, 0);
    EXPECT_EQ(leftTop.dx, 60);
    EXPECT_EQ(leftTop.dropRect.top, 0);
    EXPECT_EQ(leftTop.dy, 320);
    EXPECT_EQ(leftTop.patchLeft, -1);
    EXPECT_EQ(leftTop.patchTop, -1);
    EXPECT_EQ(dropColumn(leftTop), 59) << "still at cx - 1";
    EXPECT_EQ(dropRow(leftTop, 200), 78) << "still at cy - 2";

    DropPlacement right = placeDrop(964, 400, 1024, 768, 200);
    EXPECT_EQ(right.dropRect.right, 1024);
    EXPECT_EQ(right.dx, 260);
    EXPECT_EQ(dropColumn(right), 1023) << "on the last column";

    DropPlacement bottom = placeDrop(400, 700, 1024, 768, 100);
    EXPECT_EQ(bottom.dropRect.bottom, 768);
    EXPECT_EQ(bottom.dy, 32);
    EXPECT_EQ(dropRow(bottom, 100), 766) << "on the last row but one";
}

TEST(DropGeometry, BottomClipCountsFromTheUnmovedTop) {
    // Both top and bottom clipped: the bottom rule wins and ignores the moved top.
    DropPlacement p = placeDrop(300, 90, 1024, 200, 140);
    EXPECT_EQ(p.dropRect.top, 0);
    EXPECT_EQ(p.dropRect.bottom, 200);
    EXPECT_EQ(p.dy, 90 + 140 - 200);
}

TEST(DropGeometry, CentreDrawsXThenYFromTheSharedGenerator) {
    seedRandom(31);
    RandomGenerator expected{31};
    for (int n = 0; n < 1000; ++n) {
        int cx = 0, cy = 0;
        ASSERT_TRUE(chooseDropCentre(1024, 768, cx, cy, testRandom));
        ASSERT_EQ(cx, int(expected.upTo(1024 - 100)) + 50);
        ASSERT_EQ(cy, int(expected.upTo(768 - 100)) + 50);
        ASSERT_GE(cx, 50);
        ASSERT_LE(cx, 974);
        ASSERT_GE(cy, 50);
        ASSERT_LE(cy, 718);
    }
}

TEST(DropGeometry, SmallestPresetIsNeverClippedOnAScreen) {
    seedRandom(7);
    for (int n = 0; n < 2000; ++n) {
        DropPlacement p;
        ASSERT_TRUE(planDrop(1024, 768, 50, p, testRandom));
        ASSERT_EQ(p.dropRect.right - p.dropRect.left, 98);
        ASSERT_EQ(p.dropRect.bottom - p.dropRect.top, 98);
        ASSERT_EQ(p.dx, 50);
        ASSERT_EQ(p.dy, 50);
    }
}

TEST(DropGeometry, NarrowOrLowTargetsCentreTheDropWithoutDrawing) {
    seedRandom(11);
    RandomGenerator expected{11};
    int cx = -1, cy = -1;
    ASSERT_TRUE(chooseDropCentre(60, 500, cx, cy, testRandom));
    EXPECT_EQ(cx, 30);
    EXPECT_EQ(cy, int(expected.upTo(400)) + 50);
    EXPECT_EQ(loadRandom().state, expected.state) << "one draw, for y only";

    ASSERT_TRUE(chooseDropCentre(99, 1, cx, cy, testRandom));
    EXPECT_EQ(cx, 49);
    EXPECT_EQ(cy, 0);
    EXPECT_EQ(loadRandom().state, expected.state);

    ASSERT_TRUE(chooseDropCentre(100, 100, cx, cy, testRandom)); // just enough room: drawn as usual
    EXPECT_EQ(cx, int(expected.upTo(0)) + 50);
    EXPECT_EQ(cy, int(expected.upTo(0)) + 50);
}

TEST(DropGeometry, EmptyTargetHasNoDrop) {
    seedRandom(2);
    DropPlacement p;
    int cx = 0, cy = 0;
    EXPECT_FALSE(planDrop(0, 768, 50, p, testRandom));
    EXPECT_FALSE(planDrop(1024, -3, 50, p, testRandom));
    EXPECT_FALSE(chooseDropCentre(-1, 0, cx, cy, testRandom));
    EXPECT_EQ(loadRandom().state, 2u);
}

TEST(DropGeometry, PutBackRectStaysInsideTargetAndPatch) {
    const int targets[][2] = {{1, 1},     {2, 3},     {30, 200},   {99, 99},
                              {100, 100}, {101, 399}, {150, 150},  {398, 402},
                              {464, 269}, {640, 480}, {1024, 768}, {1920, 1080}};
    seedRandom(1);
    for (uint32_t size = 0; size < 5; ++size) {
        const int e = dropPresetFor(size).patchHalf;
        for (const auto& t : targets)
            for (int n = 0; n < 300; ++n) {
                DropPlacement p;
                ASSERT_TRUE(planDrop(t[0], t[1], e, p, testRandom));
                const DropRect& r = p.dropRect;
                std::string where = "waveSize " + std::to_string(size) + " on " +
                                    std::to_string(t[0]) + " x " + std::to_string(t[1]);
                ASSERT_LE(0, r.left) << where;
                ASSERT_LE(r.left, r.right) << where;
                ASSERT_LE(r.right, t[0]) << where;
                ASSERT_LE(0, r.top) << where;
                ASSERT_LE(r.top, r.bottom) << where;
                ASSERT_LE(r.bottom, t[1]) << where;
                ASSERT_EQ(p.patchLeft, r.left - 1) << where;
                ASSERT_EQ(p.patchTop, r.top - 1) << where;
                ASSERT_LE(r.right, p.patchLeft + 2 * e) << where;
                ASSERT_LE(r.bottom, p.patchTop + 2 * e) << where;
            }
    }
}
