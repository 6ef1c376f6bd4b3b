#pragma once

#include <cstdint>

// The shared pseudo-random generator of the render thread: the classic linear
// congruential generator with 15-bit results. Only the render thread uses it, so
// it needs no lock.
//
// RandomGenerator is the inline form for hot loops: copy the process-wide state
// into a local generator (loadRandom), draw from it, and store it back
// (storeRandom), so the state can live in a register.
struct RandomGenerator {
    uint32_t state;

    uint32_t next() {
        state = state * 214013u + 2531011u;
        return (state >> 16) & 0x7FFFu;
    }

    // 0..n inclusive. The product is formed in 32 bits on purpose: callers keep
    // n below 65536, where it cannot overflow.
    uint32_t upTo(uint32_t n) {
        uint32_t r = next();
        if (r == 32767u)
            return n;
        return r * (n + 1u) / 32767u;
    }
};

void seedRandom(uint32_t seed);
uint32_t nextRandom();
uint32_t randomUpTo(uint32_t n);

RandomGenerator loadRandom();
void storeRandom(RandomGenerator generator);
