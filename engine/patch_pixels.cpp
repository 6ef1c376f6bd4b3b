#include "engine/patch_pixels.h"

#include <cstring>

namespace {

struct Channel {
    std::uint32_t shift; // of the mask's lowest bit
    std::uint32_t drop;  // bits of the 8-bit value not kept
};

bool channelOf(std::uint32_t mask, std::uint32_t bitCount, Channel& channel) {
    if (mask == 0 || (bitCount < 32 && (mask >> bitCount) != 0))
        return false;
    std::uint32_t shift = 0;
    while (((mask >> shift) & 1u) == 0)
        ++shift;
    const std::uint32_t run = mask >> shift;
    if ((run & (run + 1u)) != 0) // not one run of ones
        return false;
    std::uint32_t length = 0;
    while ((run >> length) & 1u)
        ++length;
    if (length > 8)
        return false;
    channel = {shift, 8 - length};
    return true;
}

struct Converter {
    Channel red, green, blue;

    std::uint32_t operator()(std::uint32_t pixel) const {
        const std::uint32_t r = (pixel >> 16) & 0xFFu, g = (pixel >> 8) & 0xFFu, b = pixel & 0xFFu;
        return ((r >> red.drop) << red.shift) | ((g >> green.drop) << green.shift) |
               ((b >> blue.drop) << blue.shift);
    }
};

bool converterFor(const PixelLayout& layout, Converter& converter) {
    return channelOf(layout.redMask, layout.bitCount, converter.red) &&
           channelOf(layout.greenMask, layout.bitCount, converter.green) &&
           channelOf(layout.blueMask, layout.bitCount, converter.blue);
}

bool isPlainRgb(const PixelLayout& layout) {
    return layout.redMask == 0xFF0000u && layout.greenMask == 0xFF00u && layout.blueMask == 0xFFu;
}

} // namespace

bool patchLayoutSupported(const PixelLayout& layout) {
    Converter unused;
    return (layout.bitCount == 16 || layout.bitCount == 24 || layout.bitCount == 32) &&
           converterFor(layout, unused);
}

PatchClip clipPatch(std::int32_t patchLeft, std::int32_t patchTop, std::int32_t side,
                    std::int32_t surfaceWidth, std::int32_t surfaceHeight) {
    const std::int64_t left = patchLeft < 0 ? -std::int64_t{patchLeft} : 0;
    const std::int64_t top = patchTop < 0 ? -std::int64_t{patchTop} : 0;
    std::int64_t right = side, bottom = side;
    if (std::int64_t{patchLeft} + right > surfaceWidth)
        right = std::int64_t{surfaceWidth} - patchLeft;
    if (std::int64_t{patchTop} + bottom > surfaceHeight)
        bottom = std::int64_t{surfaceHeight} - patchTop;
    if (side <= 0 || right <= left || bottom <= top)
        return {0, 0, 0, 0};
    return {static_cast<std::int32_t>(left), static_cast<std::int32_t>(top),
            static_cast<std::int32_t>(right - left), static_cast<std::int32_t>(bottom - top)};
}

void putPatch(const std::uint32_t* patch, std::int32_t side, const PatchClip& clip,
              std::uint8_t* destination, std::int32_t pitch, const PixelLayout& layout) {
    Converter convert{};
    if (clip.width <= 0 || clip.height <= 0 || !converterFor(layout, convert))
        return;
    const bool plain = isPlainRgb(layout);
    for (std::int32_t row = 0; row < clip.height; ++row) {
        // Bottom row first in the patch, top row first on the surface.
        const std::uint32_t* from =
            patch + static_cast<std::ptrdiff_t>(side - 1 - (clip.top + row)) * side + clip.left;
        std::uint8_t* to = destination + static_cast<std::ptrdiff_t>(row) * pitch;
        switch (layout.bitCount) {
        case 32:
            if (plain) {
                // Same layout as the patch: copied whole, as a bitmap copy would.
                std::memcpy(to, from, static_cast<std::size_t>(clip.width) * 4);
                break;
            }
            for (std::int32_t x = 0; x < clip.width; ++x) {
                const std::uint32_t value = convert(from[x]);
                std::memcpy(to + 4 * x, &value, 4);
            }
            break;
        case 24:
            for (std::int32_t x = 0; x < clip.width; ++x) {
                const std::uint32_t value = plain ? from[x] : convert(from[x]);
                to[3 * x] = static_cast<std::uint8_t>(value);
                to[3 * x + 1] = static_cast<std::uint8_t>(value >> 8);
                to[3 * x + 2] = static_cast<std::uint8_t>(value >> 16);
            }
            break;
        default:
            for (std::int32_t x = 0; x < clip.width; ++x) {
                const std::uint32_t value = convert(from[x]);
                to[2 * x] = static_cast<std::uint8_t>(value);
                to[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
            }
            break;
        }
    }
}
