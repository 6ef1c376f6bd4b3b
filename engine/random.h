#pragma once

#include <cstdint>

// The picture show's pseudo-random generator: the classic linear congruential
// generator with 15-bit results. The show owns it and hands it to the reveal and the
// drops, all on the render thread, so it needs no lock. Hot loops copy it into a local,
// draw from that, and store it back, so the state can live in a register.
struct RandomGenerator {
    static constexpr uint32_t multiplier = 214013u;
    static constexpr uint32_t increment = 2531011u;

    uint32_t state;

    uint32_t next() {
        state = state * multiplier + increment;
        return resultOf(state);
    }

    // 0..n inclusive. The product is formed in 32 bits on purpose: callers keep
    // n below 65536, where it cannot overflow.
    uint32_t upTo(uint32_t n) { return scaled(next(), n); }

    // The number a state gives, and that number as upTo(n) gives it.
    static uint32_t resultOf(uint32_t state) { return (state >> 16) & 0x7FFFu; }
    static uint32_t scaled(uint32_t r, uint32_t n) {
        return r == 32767u ? n : r * (n + 1u) / 32767u;
    }

    // The step `steps` numbers at once: state * multiply + add is the state `steps` next()
    // calls later. Lets several lanes run the one sequence side by side.
    struct Jump {
        uint32_t multiply, add;
    };
    static constexpr Jump jump(uint32_t steps) {
        Jump j{1u, 0u};
        for (uint32_t i = 0; i < steps; ++i)
            j = {j.multiply * multiplier, j.add * multiplier + increment};
        return j;
    }
};
