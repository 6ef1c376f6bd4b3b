#pragma once

#include "engine/random.h"
#include "engine/water_surface.h"

#include <cstdint>

// Where a water drop falls and which part of the screen its ripple covers. Target
// coordinates count from the target's top-left pixel; a patch is a square of the target
// held bottom row first, as a bottom-up device-independent bitmap holds it.

struct DropPreset {
    int32_t dropRadius;
    int32_t dropStrength;
    int32_t patchHalf; // E: the patch is 2E pixels a side
};

// The row for a "Surface wave size" value; values above the largest size get the largest.
DropPreset dropPresetFor(uint32_t waveSize);

inline int32_t patchSide(const DropPreset& preset) {
    return 2 * preset.patchHalf;
}
inline int32_t framesPerDrop(const DropPreset& preset) {
    return 2 * (preset.patchHalf + preset.dropRadius);
}

struct DropRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct DropPlacement {
    DropRect dropRect; // the part of the patch put back on the screen, in target coordinates
    int32_t dx;        // drop column in the patch, from its left edge
    int32_t dy;        // drop row in the patch, from its bottom row
    int32_t patchLeft; // target position of the patch's top-left pixel
    int32_t patchTop;
};

// Clips the patch around the centre (cx, cy) to a targetWidth x targetHeight target.
// For a centre inside the target the rectangle lies inside both the target and the patch.
DropPlacement placeDrop(int32_t cx, int32_t cy, int32_t targetWidth, int32_t targetHeight,
                        int32_t patchHalf);

// Draws a drop centre from `random`, x then y, 50 pixels or more from
// every edge. An axis shorter than 100 pixels has no room for that: its centre is the
// middle of the target and nothing is drawn for it. False, with nothing drawn, for an empty
// target.
bool chooseDropCentre(int32_t targetWidth, int32_t targetHeight, int32_t& cx, int32_t& cy,
                      RandomGenerator& random);

// chooseDropCentre, then placeDrop. False if there is no drop.
bool planDrop(int32_t targetWidth, int32_t targetHeight, int32_t patchHalf,
              DropPlacement& placement, RandomGenerator& random);

// A new drop of `preset` within the target, falling on still water: planDrop, then the drop
// added to the cleared surface. False if there is no drop.
bool dropOnStillWater(WaterSurface& water, const DropPreset& preset, int32_t targetWidth,
                      int32_t targetHeight, DropPlacement& placement, RandomGenerator& random);
