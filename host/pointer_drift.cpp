#include "host/pointer_drift.h"

#include <cstdlib>

bool PointerDrift::moved(int x, int y) {
    if (!referenceSet_) {
        referenceSet_ = true;
        referenceX_ = x;
        referenceY_ = y;
        return false;
    }
    // In 64 bits: coordinates from a message may lie anywhere in the int range.
    const long long drift = std::llabs(static_cast<long long>(x) - referenceX_) +
                            std::llabs(static_cast<long long>(y) - referenceY_);
    return drift >= pointerDriftLimit;
}
