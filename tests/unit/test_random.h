// The generator the unit tests hand to the reveal, the drop placement and the water
// surface, as the picture show hands down its own, with shorthands to seed and read it.
#pragma once

#include "engine/random.h"

#include <cstdint>

inline RandomGenerator testRandom{1};

inline void seedRandom(std::uint32_t seed) {
    testRandom.state = seed;
}
inline std::uint32_t nextRandom() {
    return testRandom.next();
}
inline std::uint32_t randomUpTo(std::uint32_t n) {
    return testRandom.upTo(n);
}
inline RandomGenerator loadRandom() {
    return testRandom;
}
