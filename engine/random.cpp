#include "engine/random.h"

namespace {
RandomGenerator shared{1};
}

void seedRandom(uint32_t seed) {
    shared.state = seed;
}

uint32_t nextRandom() {
    return shared.next();
}

uint32_t randomUpTo(uint32_t n) {
    return shared.upTo(n);
}

RandomGenerator loadRandom() {
    return shared;
}

void storeRandom(RandomGenerator generator) {
    shared = generator;
}
