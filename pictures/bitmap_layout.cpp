#include "pictures/bitmap_layout.h"

#include <cstddef>
#include <limits>

namespace {

template <std::size_t N>
void putLittleEndian(std::array<std::uint8_t, N>& bytes, std::size_t offset, std::uint32_t value,
                     std::size_t size) {
    for (std::size_t i = 0; i < size; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::uint16_t bitmapFileType = 0x4D42; // "BM"
constexpr std::uint32_t uncompressedRgb = 0;

} // namespace

std::uint64_t rowBytes(std::uint32_t bitCount, std::uint32_t planes, std::int64_t width) {
    if (width <= 0)
        return 0;
    const std::uint64_t bits = std::uint64_t{bitCount} * planes * static_cast<std::uint64_t>(width);
    return (bits + 31) / 32 * 4;
}

std::uint32_t colourTableEntries(std::uint32_t bitCount) {
    return bitCount <= 8 ? std::uint32_t{1} << bitCount : 0;
}

std::uint32_t bitmapHeaderSize(std::uint32_t bitCount) {
    return bitmapInfoHeaderSize + 4 * colourTableEntries(bitCount);
}

bool isBitmapBitCount(std::uint32_t bitCount) {
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

bool computeBitmapLayout(std::int32_t width, std::int32_t height, std::uint32_t bitCount,
                         BitmapLayout& layout) {
    if (width <= 0 || height <= 0 || !isBitmapBitCount(bitCount))
        return false;
    const std::uint64_t row = rowBytes(bitCount, 1, width);
    const std::uint64_t image = row * static_cast<std::uint64_t>(height);
    const std::uint32_t header = bitmapHeaderSize(bitCount);
    const std::uint64_t file = std::uint64_t{bitmapFileHeaderSize} + header + image;
    // The file header holds the file size in 32 bits; a larger frame would wrap it.
    if (file > std::numeric_limits<std::uint32_t>::max())
        return false;

    layout.width = width;
    layout.height = height;
    layout.bitCount = static_cast<std::uint16_t>(bitCount);
    layout.rowBytes = static_cast<std::uint32_t>(row);
    layout.colours = colourTableEntries(bitCount);
    layout.headerSize = header;
    layout.imageSize = static_cast<std::uint32_t>(image);
    layout.pixelOffset = bitmapFileHeaderSize + header;
    layout.fileSize = static_cast<std::uint32_t>(file);
    return true;
}

BitmapFileHeaderBytes bitmapFileHeader(const BitmapLayout& layout) {
    BitmapFileHeaderBytes bytes{};
    putLittleEndian(bytes, 0, bitmapFileType, 2);
    putLittleEndian(bytes, 2, layout.fileSize, 4);
    // Bytes 6 to 9 are the two reserved words, left zero.
    putLittleEndian(bytes, 10, layout.pixelOffset, 4);
    return bytes;
}

BitmapInfoHeaderBytes bitmapInfoHeader(const BitmapLayout& layout) {
    BitmapInfoHeaderBytes bytes{};
    putLittleEndian(bytes, 0, bitmapInfoHeaderSize, 4);
    putLittleEndian(bytes, 4, static_cast<std::uint32_t>(layout.width), 4);
    putLittleEndian(bytes, 8, static_cast<std::uint32_t>(layout.height), 4);
    putLittleEndian(bytes, 12, 1, 2); // planes
    putLittleEndian(bytes, 14, layout.bitCount, 2);
    putLittleEndian(bytes, 16, uncompressedRgb, 4);
    putLittleEndian(bytes, 20, layout.imageSize, 4);
    // Resolutions (24, 28) and important colours (36) stay zero.
    putLittleEndian(bytes, 32, layout.colours, 4);
    return bytes;
}
