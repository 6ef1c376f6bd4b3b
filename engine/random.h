#pragma once

#include <cstdint>

// The picture show's pseudo-random generator: the classic linear congruential
// generator with 15-bit results. The show owns it and hands it to the reveal and the
// drops, all on the render thread, so it needs no lock. Hot loops copy it into a local,
// draw from that, and store it back, so the state can live in a register.
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
