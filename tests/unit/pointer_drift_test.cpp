#include "host/pointer_drift.h"

#include <gtest/gtest.h>

#include <cstdlib>

TEST(PointerDrift, EndsAtSixteenInDxPlusDyFromTheFirstMoveWhereverItWas) {
    struct Move {
        int fromX, fromY, toX, toY;
        bool ends;
    };
    // Right and up with x + y unchanged; the origin, and x + y = 0 left of the primary
    // monitor, are references like any other.
    const Move moves[] = {
        {500, 400, 600, 300, true},    {500, 400, 508, 392, true},
        {500, 400, 507, 392, false},   {0, 0, 10, 10, true},
        {0, 0, 0, 0, false},           {-300, 300, -300, 316, true},
        {-300, 300, -290, 305, false}, {-1200, -40, -1184, -40, true},
    };
    for (const Move& m : moves) {
        PointerDrift drift;
        EXPECT_FALSE(drift.moved(m.fromX, m.fromY)) << "the first move only sets the reference";
        EXPECT_EQ(drift.moved(m.toX, m.toY), m.ends)
            << "from (" << m.fromX << ", " << m.fromY << ") to (" << m.toX << ", " << m.toY << ")";
    }
}

TEST(PointerDrift, EveryMoveTheSumOfCoordinatesEndedStillEndsAndSmallOnesDoNotAddUp) {
    for (int dx = -20; dx <= 20; ++dx) {
        for (int dy = -20; dy <= 20; ++dy) {
            PointerDrift drift;
            drift.moved(300, 200);
            const bool endedBySum = std::abs(dx + dy) > 15;
            EXPECT_TRUE(!endedBySum || drift.moved(300 + dx, 200 + dy))
                << "dx " << dx << ", dy " << dy;
        }
    }
    PointerDrift drift;
    drift.moved(100, 100);
    for (int step = 1; step <= 15; ++step)
        ASSERT_FALSE(drift.moved(100 + step, 100)) << "step " << step;
    EXPECT_TRUE(drift.moved(116, 100)) << "measured from the first move, not the last";
}
