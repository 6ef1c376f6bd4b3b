#include "engine/drop_geometry.h"

#include "engine/random.h"

namespace {

// Keep clear of the target's edges by this much when choosing a centre.
constexpr int32_t centreMargin = 50;

constexpr DropPreset presets[] = {
    {15, 30, 50}, {20, 200, 100}, {40, 300, 140}, {60, 400, 160}, {80, 500, 200},
};
constexpr uint32_t presetCount = sizeof(presets) / sizeof(presets[0]);

int32_t centreOn(int32_t size, RandomGenerator& random) {
    if (size < 2 * centreMargin)
        return size / 2;
    return int32_t(random.upTo(uint32_t(size - 2 * centreMargin))) + centreMargin;
}

} // namespace

DropPreset dropPresetFor(uint32_t waveSize) {
    return presets[waveSize < presetCount ? waveSize : presetCount - 1];
}

DropPlacement placeDrop(int32_t cx, int32_t cy, int32_t targetWidth, int32_t targetHeight,
                        int32_t patchHalf) {
    const int32_t e = patchHalf;
    DropPlacement p;
    p.dx = e;
    p.dy = e;
    DropRect& r = p.dropRect;
    r.left = cx - e;
    if (r.left < 0) {
        r.left = 0;
        p.dx = cx;
    }
    r.right = cx + e - 2;
    if (r.right > targetWidth) {
        r.right = targetWidth;
        p.dx = e - cx + targetWidth;
    }
    r.top = cy - e;
    if (r.top < 0) {
        r.top = 0;
        p.dy = 2 * e - cy;
    }
    r.bottom = cy + e - 2;
    if (r.bottom > targetHeight) {
        r.bottom = targetHeight;
        // Counted from where the top would have been, even if it moved.
        p.dy = cy + e - targetHeight;
    }
    p.patchLeft = r.left - 1;
    p.patchTop = r.top - 1;
    return p;
}

bool chooseDropCentre(int32_t targetWidth, int32_t targetHeight, int32_t& cx, int32_t& cy,
                      RandomGenerator& random) {
    if (targetWidth <= 0 || targetHeight <= 0)
        return false;
    cx = centreOn(targetWidth, random);
    cy = centreOn(targetHeight, random);
    return true;
}

bool planDrop(int32_t targetWidth, int32_t targetHeight, int32_t patchHalf,
              DropPlacement& placement, RandomGenerator& random) {
    int32_t cx = 0;
    int32_t cy = 0;
    if (!chooseDropCentre(targetWidth, targetHeight, cx, cy, random))
        return false;
    placement = placeDrop(cx, cy, targetWidth, targetHeight, patchHalf);
    return true;
}

bool dropOnStillWater(WaterSurface& water, const DropPreset& preset, int32_t targetWidth,
                      int32_t targetHeight, DropPlacement& placement, RandomGenerator& random) {
    if (!planDrop(targetWidth, targetHeight, preset.patchHalf, placement, random))
        return false;
    water.clear();
    water.addDrop(placement.dx, placement.dy, preset.dropRadius, preset.dropStrength, water.current,
                  random);
    return true;
}
