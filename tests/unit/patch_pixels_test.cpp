#include "engine/patch_pixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const PixelLayout rgb565 = {16, 0xF800, 0x07E0, 0x001F};
const PixelLayout rgb555 = {16, 0x7C00, 0x03E0, 0x001F};
const PixelLayout rgb444 = {16, 0x0F00, 0x00F0, 0x000F};
const PixelLayout rgb24 = {24, 0xFF0000, 0xFF00, 0xFF};
const PixelLayout rgb32 = {32, 0xFF0000, 0xFF00, 0xFF};
const PixelLayout bgr32 = {32, 0xFF, 0xFF00, 0xFF0000};

std::uint32_t firstPixel(const std::vector<std::uint8_t>& bytes, int pixelBytes) {
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data(), pixelBytes);
    return value;
}

std::uint32_t putOne(std::uint32_t pixel, const PixelLayout& layout) {
    std::vector<std::uint8_t> out(4, 0);
    putPatch(&pixel, 1, {0, 0, 1, 1}, out.data(), 4, layout);
    return firstPixel(out, static_cast<int>(layout.bitCount / 8));
}

} // namespace

// Each channel keeps its top bits, as the system's bitmap calls convert 32-bit pixels; the
// plain 32-bit layout is the patch's own and is copied whole.
TEST(PatchPixels, ChannelsKeepTheirTopBitsInEveryLayout) {
    const std::uint32_t pixel = 0xAAFF8047u; // red FF, green 80, blue 47, a fourth byte AA
    EXPECT_EQ(putOne(pixel, rgb565), (31u << 11) | (32u << 5) | 8u);
    EXPECT_EQ(putOne(pixel, rgb555), (31u << 10) | (16u << 5) | 8u);
    EXPECT_EQ(putOne(pixel, rgb444), (15u << 8) | (8u << 4) | 4u);
    EXPECT_EQ(putOne(pixel, rgb24), 0xFF8047u);
    EXPECT_EQ(putOne(pixel, rgb32), 0xAAFF8047u);
    EXPECT_EQ(putOne(pixel, bgr32), 0x004780FFu) << "channels moved, the fourth byte cleared";
}

// The patch is held bottom row first; the surface top row first. Only the clipped part is
// written, to the clip's place, and nothing beside it.
TEST(PatchPixels, ClippedPatchesLandUprightAndWriteNothingElse) {
    constexpr int side = 4;
    std::uint32_t patch[side * side];
    for (int row = 0; row < side; ++row) // row 0 is the bottom row
        for (int x = 0; x < side; ++x)
            patch[row * side + x] = 0x010000u * (side - 1 - row) + x; // red = row from top
    struct Place {
        int left, top;
        PatchClip expected;
    };
    const Place places[] = {{2, 3, {0, 0, 4, 4}},  {-1, 3, {1, 0, 3, 4}}, {2, -2, {0, 2, 4, 2}},
                            {5, 3, {0, 0, 3, 4}},  {2, 6, {0, 0, 4, 2}},  {-3, -3, {3, 3, 1, 1}},
                            {-4, 0, {0, 0, 0, 0}}, {8, 8, {0, 0, 0, 0}}};
    constexpr int width = 8, height = 8, pitch = width * 4 + 8;
    for (const Place& place : places) {
        const PatchClip clip = clipPatch(place.left, place.top, side, width, height);
        EXPECT_EQ(clip.left, place.expected.left) << place.left << "," << place.top;
        EXPECT_EQ(clip.top, place.expected.top) << place.left << "," << place.top;
        EXPECT_EQ(clip.width, place.expected.width) << place.left << "," << place.top;
        EXPECT_EQ(clip.height, place.expected.height) << place.left << "," << place.top;

        std::vector<std::uint32_t> surface(pitch / 4 * height, 0xEEEEEEEEu);
        std::uint8_t* bytes = reinterpret_cast<std::uint8_t*>(surface.data());
        const int x0 = place.left + clip.left, y0 = place.top + clip.top;
        if (clip.width > 0)
            putPatch(patch, side, clip, bytes + y0 * pitch + x0 * 4, pitch, rgb32);
        for (int y = 0; y < height; ++y) {
            for (int x = 0; x < pitch / 4; ++x) {
                const int px = x - place.left, py = y - place.top;
                const bool inside = x < width && px >= 0 && py >= 0 && px < side && py < side;
                const std::uint32_t expected =
                    inside ? 0x010000u * std::uint32_t(py) + std::uint32_t(px) : 0xEEEEEEEEu;
                EXPECT_EQ(surface[y * (pitch / 4) + x], expected)
                    << "patch at " << place.left << "," << place.top << ": pixel " << x << "," << y;
            }
        }
    }
}

// Palette surfaces and formats the conversion cannot make exactly are left to GDI.
TEST(PatchPixels, OnlyPlainRgbLayoutsAreWrittenDirectly) {
    for (const PixelLayout& layout : {rgb565, rgb555, rgb444, rgb24, rgb32, bgr32})
        EXPECT_TRUE(patchLayoutSupported(layout)) << layout.bitCount << " bits";
    const PixelLayout refused[] = {
        {8, 0, 0, 0},                        // a palette
        {32, 0, 0, 0},                       // no masks given
        {16, 0xF800, 0x07E0, 0x0015},        // a mask with a hole
        {32, 0x3FF00000, 0x000FFC00, 0x3FF}, // ten bits a channel
        {16, 0xFF0000, 0xFF00, 0xFF},        // a mask beyond the pixel
        {15, 0x7C00, 0x03E0, 0x001F},        // no whole bytes per pixel
    };
    for (const PixelLayout& layout : refused)
        EXPECT_FALSE(patchLayoutSupported(layout))
            << layout.bitCount << " bits, red mask " << std::hex << layout.redMask;
}
