// Sizes and headers of a BMP file and of the packed bitmap it is written from: the
// information header, the colour table and the pixel rows in one block.
// Portable: no Windows header; the headers are built as little-endian bytes.
#pragma once

#include <array>
#include <cstdint>

constexpr std::uint32_t bitmapFileHeaderSize = 14;
constexpr std::uint32_t bitmapInfoHeaderSize = 40;

// Bytes of one pixel row, padded to a multiple of 4. Wide enough never to wrap.
std::uint64_t rowBytes(std::uint32_t bitCount, std::uint32_t planes, std::int64_t width);

// Colour-table entries stored for a bit count: 2^bitCount up to 8 bits, none above.
std::uint32_t colourTableEntries(std::uint32_t bitCount);

// The information header and its colour table.
std::uint32_t bitmapHeaderSize(std::uint32_t bitCount);

// The bit counts an uncompressed BMP file can hold.
bool isBitmapBitCount(std::uint32_t bitCount);

struct BitmapLayout {
    std::int32_t width = 0;
    std::int32_t height = 0; // positive: rows bottom-up
    std::uint16_t bitCount = 0;
    std::uint32_t rowBytes = 0;
    std::uint32_t colours = 0;    // colour-table entries
    std::uint32_t headerSize = 0; // information header and colour table
    std::uint32_t imageSize = 0;  // all pixel rows
    std::uint32_t pixelOffset = 0;
    std::uint32_t fileSize = 0;
    // The packed block: header, colour table and pixel rows.
    std::uint32_t packedSize() const { return headerSize + imageSize; }
};

// False, leaving `layout` alone, for an empty bitmap, a bit count a BMP file cannot hold,
// or a file too large for the 32-bit sizes of its headers.
bool computeBitmapLayout(std::int32_t width, std::int32_t height, std::uint32_t bitCount,
                         BitmapLayout& layout);

using BitmapFileHeaderBytes = std::array<std::uint8_t, bitmapFileHeaderSize>;
using BitmapInfoHeaderBytes = std::array<std::uint8_t, bitmapInfoHeaderSize>;

BitmapFileHeaderBytes bitmapFileHeader(const BitmapLayout& layout);
BitmapInfoHeaderBytes bitmapInfoHeader(const BitmapLayout& layout);
