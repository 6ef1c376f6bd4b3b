// The values the picture show runs on. The settings layer keeps them, byte for byte, as the
// record at the start of "vellutor.set"; the show only reads them.
#pragma once

#include "pictures/picture_format.h"

#include <cstddef>
#include <cstdint>

struct FormatSwitches {
    std::uint8_t formatEnabled;
    std::uint8_t formatCutBackground;
};

// Block A (bytes 0-7) and block B (8-15) of the record.
struct SaverSettings {
    std::uint8_t dropPeriod;
    std::uint8_t psychedeliaLevel;
    std::uint8_t blurLevel;
    std::uint8_t rememberPicture;
    std::uint8_t wallpaperGenerator;
    std::uint8_t waveSize;
    std::uint16_t videoMode; // little-endian in the file
    FormatSwitches formats[pictureFormatCount];
};

// Range of the drop period; the show also pulls a hand-made value back into it.
constexpr std::uint8_t dropPeriodMin = 14, dropPeriodMax = 50;

// Room for the file name (no folder) of the picture on screen with its NUL, as
// "vellutor.fsl" holds it.
constexpr std::size_t lastPictureNameSize = 256;
