// A fuzzer's own check: a broken promise aborts, so that libFuzzer keeps the input.
#pragma once

#include <cstdlib>

inline void require(bool condition) {
    if (!condition)
        std::abort();
}
