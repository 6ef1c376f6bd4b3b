#include "engine/random.h"

#include "test_random.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
std::vector<uint32_t> draws(int count, uint32_t (*draw)()) {
    std::vector<uint32_t> values;
    for (int i = 0; i < count; ++i)
        values.push_back(draw());
    return values;
}
} // namespace

TEST(Random, KnownSequencesFromTheStartStateAndFromATimeSeed) {
    seedRandom(1);
    EXPECT_EQ(draws(5, nextRandom), (std::vector<uint32_t>{41, 18467, 6334, 26500, 19169}));
    seedRandom(31);
    EXPECT_EQ(draws(5, nextRandom), (std::vector<uint32_t>{139, 13240, 17971, 27503, 927}));
    seedRandom(1);
    EXPECT_EQ(draws(5, [] { return randomUpTo(1023); }),
              (std::vector<uint32_t>{1, 577, 197, 828, 599}));
}

TEST(Random, EqualSeedsRepeatTheSequence) {
    seedRandom(100);
    std::vector<uint32_t> first = draws(50, nextRandom);
    seedRandom(100);
    EXPECT_EQ(draws(50, nextRandom), first);
}

TEST(Random, UpToStaysWithinItsBoundAndReachesBothEnds) {
    // Enough draws to meet every 15-bit value, the largest included.
    RandomGenerator generator{7};
    bool sawTop = false, sawZero = false;
    for (int i = 0; i < 400000; ++i) {
        RandomGenerator probe = generator;
        uint32_t r = probe.next();
        uint32_t value = generator.upTo(999);
        ASSERT_LE(value, 999u) << "r = " << r;
        if (r == 32767) {
            EXPECT_EQ(value, 999u) << "the largest draw gives the bound itself";
            sawTop = true;
        }
        sawZero = sawZero || value == 0;
    }
    EXPECT_TRUE(sawTop);
    EXPECT_TRUE(sawZero);
}

TEST(Random, UpToZeroAndOneSplitTheRangeAsDocumented) {
    RandomGenerator generator{12345};
    for (int i = 0; i < 100000; ++i) {
        ASSERT_EQ(generator.upTo(0), 0u);
        RandomGenerator probe = generator;
        uint32_t r = probe.next();
        ASSERT_EQ(generator.upTo(1), r >= 16384 ? 1u : 0u) << "r = " << r;
    }
}

TEST(Random, ACopyGoesOnWhereTheOriginalStood) {
    RandomGenerator original{99};
    original.next();
    RandomGenerator copy = original;
    EXPECT_EQ(copy.next(), original.next());
    EXPECT_EQ(copy.state, original.state);
}
