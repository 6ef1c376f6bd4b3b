// "Psychedelia": the picture's colour channels shown in another arrangement.
#pragma once

#include <cstdint>

// Channel numbers: 0 blue, 1 green, 2 red.
struct ChannelMap {
    std::uint8_t blueSlot;
    std::uint8_t greenSlot;
    std::uint8_t redSlot;
};

constexpr std::uint8_t channelArrangementCount = 6;

// The arrangement for a psychedelia level. Levels beyond the slider give the last one,
// since the slots are used as byte offsets within a pixel.
ChannelMap channelMapFor(std::uint8_t psychedeliaLevel);

// 5-6-5 pixel: each output channel shows the source channel its slot names; the lowest
// green bit is always 0.
inline std::uint16_t mapPixel16(std::uint16_t value, ChannelMap map) {
    const std::uint32_t channels[3] = {value & 0x1Fu, (value >> 6) & 0x1Fu, (value >> 11) & 0x1Fu};
    return static_cast<std::uint16_t>((channels[map.redSlot] << 11) |
                                      (channels[map.greenSlot] << 6) | channels[map.blueSlot]);
}

// 24- and 32-bit pixel: each source byte goes to the destination byte its slot names. The
// fourth byte of a 32-bit pixel is left alone.
inline void placeBytes(std::uint8_t* destination, std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                       ChannelMap map) {
    destination[map.blueSlot] = b0;
    destination[map.greenSlot] = b1;
    destination[map.redSlot] = b2;
}
