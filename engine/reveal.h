// One step of the pixel reveal: randomly chosen, not yet revealed pixels of the picture
// surface copied to the screen, with the blur scatter, the channel arrangement and the
// background cut.
#pragma once

#include "engine/channel_map.h"
#include "engine/random.h"

#include <cstdint>

// A locked surface: `bits` is the first byte of row 0, rows are `pitch` bytes apart, and
// `width` x `height` pixels may be read or written.
struct SurfaceView {
    std::uint8_t* bits;
    std::int32_t pitch;
    std::int32_t width;
    std::int32_t height;
};

// TargetRect and TargetOrigin, as read at the start of the step.
struct TargetGeometry {
    std::int32_t left, top, right, bottom;
    std::int32_t originX, originY;
};

// One byte per target pixel, row by row; 1 once the pixel was revealed for this picture.
struct RevealMapView {
    std::uint8_t* cells;
    std::int32_t width;
    std::int32_t height;
};

// Asked before every row of a step whether it should end early.
class RevealStop {
  public:
    virtual ~RevealStop() = default;
    virtual bool requested() const = 0;
};

struct RevealOptions {
    bool cutBackground;
    std::uint8_t scatterCount;
    ChannelMap channelMap;
    // The live level, read when the step starts: at 16 bits, 0 copies pixels unchanged.
    std::uint8_t psychedeliaLevel;
    // Asked before every row; true ends the step early. May be null.
    const RevealStop* stopRequested;
    // The show's generator, drawn from and advanced by the step.
    RandomGenerator* random;
};

// Where a step stands. A stop request ends a step at a row boundary; the next call with the
// same progress draws the rows that are left, with the numbers the whole step would have
// drawn, so that a hold never shortens a step.
struct RevealProgress {
    std::uint32_t nextRow = 0; // 0 when no step is under way
};

// One reveal step with the options' random generator: a draw for every pixel of the target.
// `screenBitCount` decides the layout of both surfaces (16, 24 or 32 bits; any other
// depth draws nothing). Nothing outside the views is read or written, whatever the
// geometry. False when a stop request ended the step early.
bool revealStep(const SurfaceView& screen, std::uint32_t screenBitCount, const SurfaceView& picture,
                const TargetGeometry& target, const RevealMapView& revealMap,
                const RevealOptions& options);
// As above, beginning at `progress.nextRow`. True when the step is complete (progress is
// then reset for the next step); false when a stop request ended it, with the first row not
// drawn kept in `progress`.
bool revealStep(const SurfaceView& screen, std::uint32_t screenBitCount, const SurfaceView& picture,
                const TargetGeometry& target, const RevealMapView& revealMap,
                const RevealOptions& options, RevealProgress& progress);
