#include "engine/channel_map.h"

#include <gtest/gtest.h>

#include <array>

namespace {
constexpr int blue = 0, green = 1, red = 2;

// Which source channel the screen's blue, green and red show, per level and depth.
constexpr std::array<std::array<int, 3>, 6> shownAt24 = {{
    {blue, green, red},
    {blue, red, green},
    {red, blue, green},
    {green, blue, red},
    {green, red, blue},
    {red, green, blue},
}};
constexpr std::array<std::array<int, 3>, 6> shownAt16 = {{
    {blue, green, red},
    {blue, red, green},
    {green, red, blue},
    {green, blue, red},
    {red, blue, green},
    {red, green, blue},
}};

uint16_t pack16(uint32_t b, uint32_t g5, uint32_t r) {
    return static_cast<uint16_t>((r << 11) | (g5 << 6) | b);
}
} // namespace

TEST(ChannelMap, EveryLevelShowsItsArrangementAtBothDepths) {
    const uint8_t source[3] = {10, 20, 30};
    const uint32_t source16[3] = {3, 17, 29}; // distinct 5-bit channels
    for (uint8_t level = 0; level < 6; ++level) {
        ChannelMap map = channelMapFor(level);
        uint8_t screen[4] = {0, 0, 0, 0xAB};
        placeBytes(screen, source[0], source[1], source[2], map);
        uint16_t mapped = mapPixel16(pack16(source16[0], source16[1], source16[2]), map);
        uint32_t screen16[3] = {mapped & 0x1Fu, (mapped >> 6) & 0x1Fu, (mapped >> 11) & 0x1Fu};
        for (int channel = 0; channel < 3; ++channel) {
            EXPECT_EQ(screen[channel], source[shownAt24[level][channel]])
                << "level " << int(level) << ", 24-bit screen channel " << channel;
            EXPECT_EQ(screen16[channel], source16[shownAt16[level][channel]])
                << "level " << int(level) << ", 16-bit screen channel " << channel;
        }
        EXPECT_EQ(screen[3], 0xAB) << "the fourth byte is never written";
        EXPECT_EQ(mapped & 0x20u, 0u) << "bit 5 is cleared at level " << int(level);
    }
}

TEST(ChannelMap, DocumentedSixteenBitValues) {
    ChannelMap level5 = channelMapFor(5);
    EXPECT_EQ(mapPixel16(0xF800, level5), 0x001F);
    EXPECT_EQ(mapPixel16(0x001F, level5), 0xF800);
    EXPECT_EQ(mapPixel16(0x07E0, level5), 0x07C0);
    EXPECT_EQ(mapPixel16(pack16(1, 2, 3), channelMapFor(2)), pack16(2, 3, 1));
    // The identity arrangement still drops the lowest green bit.
    EXPECT_EQ(mapPixel16(0xFFFF, channelMapFor(0)), 0xFFDF);
}

TEST(ChannelMap, DocumentedByteOrdersAtLevelsTwoAndFour) {
    uint8_t screen[3];
    placeBytes(screen, 10, 20, 30, channelMapFor(2));
    EXPECT_EQ((std::array<uint8_t, 3>{screen[0], screen[1], screen[2]}),
              (std::array<uint8_t, 3>{30, 10, 20}));
    placeBytes(screen, 10, 20, 30, channelMapFor(4));
    EXPECT_EQ((std::array<uint8_t, 3>{screen[0], screen[1], screen[2]}),
              (std::array<uint8_t, 3>{20, 30, 10}));
}

TEST(ChannelMap, LevelsBeyondTheSliderStillGiveAValidArrangement) {
    for (int level = 6; level < 256; ++level) {
        ChannelMap map = channelMapFor(static_cast<uint8_t>(level));
        EXPECT_EQ(map.blueSlot + map.greenSlot + map.redSlot, 3) << "level " << level;
        EXPECT_NE(map.blueSlot, map.greenSlot);
        EXPECT_NE(map.greenSlot, map.redSlot);
        EXPECT_NE(map.blueSlot, map.redSlot);
        EXPECT_LE(std::max({map.blueSlot, map.greenSlot, map.redSlot}), 2);
    }
}
