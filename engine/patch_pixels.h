// Ripple frames put straight into a locked surface in the surface's own pixel format, as the
// system's bitmap calls convert them on the way: each channel keeps its top bits.
#pragma once

#include <cstdint>

// A surface's pixel layout: bits per pixel and the masks of its colour channels.
struct PixelLayout {
    std::uint32_t bitCount;
    std::uint32_t redMask, greenMask, blueMask;
};

// True for 16, 24 and 32 bits whose masks are each one run of 1 to 8 bits within the pixel.
// Palette surfaces and anything unusual are not written directly.
bool patchLayoutSupported(const PixelLayout& layout);

// The part of a side x side patch that falls on a surface, counted from the patch's top-left
// pixel; empty (width or height 0) when nothing does.
struct PatchClip {
    std::int32_t left, top, width, height;
};

PatchClip clipPatch(std::int32_t patchLeft, std::int32_t patchTop, std::int32_t side,
                    std::int32_t surfaceWidth, std::int32_t surfaceHeight);

// Writes the clipped part of `patch` (side x side pixels, bottom row first, blue in bits 0-7,
// green 8-15, red 16-23) to `destination`, where the clip's top-left pixel goes; rows are
// `pitch` bytes apart. The layout must be supported.
void putPatch(const std::uint32_t* patch, std::int32_t side, const PatchClip& clip,
              std::uint8_t* destination, std::int32_t pitch, const PixelLayout& layout);
