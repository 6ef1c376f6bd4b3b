#include "pictures/picture_file_check.h"

namespace {

constexpr std::uint32_t fileHeaderBytes = 14;
constexpr std::uint32_t coreHeaderBytes = 12;
constexpr std::uint32_t infoHeaderBytes = 40;
constexpr std::uint32_t largestHeaderBytes = 124;

constexpr std::uint32_t metafileHeaderRecord = 1;
constexpr std::uint32_t metafileEndRecord = 14;
constexpr std::uint32_t metafileSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t metafileHeaderBytes = 88;
constexpr std::uint32_t recordHeaderBytes = 8;

enum Compression : std::uint32_t { plainRgb = 0, runLength8 = 1, runLength4 = 2, bitFields = 3 };

std::uint32_t read16(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8;
}

std::uint32_t read32(const unsigned char* p) {
    return read16(p) | read16(p + 2) << 16;
}

struct Header {
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t planes = 0;
    std::uint32_t bitCount = 0;
    std::uint32_t compression = plainRgb;
    std::uint32_t imageSize = 0;
    std::uint32_t coloursUsed = 0;
    std::uint32_t paletteEntryBytes = 4;
};

bool readHeader(const unsigned char* head, std::size_t headBytes, std::uint32_t headerSize,
                Header& h) {
    const unsigned char* info = head + fileHeaderBytes;
    if (headerSize == coreHeaderBytes) {
        h.width = read16(info + 4);
        h.height = read16(info + 6);
        h.planes = read16(info + 8);
        h.bitCount = read16(info + 10);
        h.paletteEntryBytes = 3;
        return true;
    }
    if (headerSize < infoHeaderBytes || headerSize > largestHeaderBytes ||
        headBytes < fileHeaderBytes + infoHeaderBytes)
        return false;
    h.width = static_cast<std::int32_t>(read32(info + 4));
    h.height = static_cast<std::int32_t>(read32(info + 8));
    h.planes = read16(info + 12);
    h.bitCount = read16(info + 14);
    h.compression = read32(info + 16);
    h.imageSize = read32(info + 20);
    h.coloursUsed = read32(info + 32);
    return true;
}

bool bitCountFits(const Header& h) {
    switch (h.compression) {
    case plainRgb:
        return h.bitCount == 1 || h.bitCount == 4 || h.bitCount == 8 || h.bitCount == 16 ||
               h.bitCount == 24 || h.bitCount == 32;
    case runLength8:
        return h.bitCount == 8;
    case runLength4:
        return h.bitCount == 4;
    case bitFields:
        return h.bitCount == 16 || h.bitCount == 32;
    default:
        return false;
    }
}

} // namespace

bool bitmapFileIsWhole(const unsigned char* head, std::size_t headBytes, std::uint64_t fileSize) {
    if (!head || headBytes < fileHeaderBytes + 4 || headBytes > fileSize)
        return false;
    if (head[0] != 'B' || head[1] != 'M')
        return false;
    const std::uint32_t pixelOffset = read32(head + 10);
    const std::uint32_t headerSize = read32(head + 14);
    if (headBytes < fileHeaderBytes + coreHeaderBytes)
        return false;

    Header h;
    if (!readHeader(head, headBytes, headerSize, h))
        return false;
    // Negative height marks rows stored top-down.
    const std::int64_t rows = h.height < 0 ? -h.height : h.height;
    if (h.width <= 0 || rows == 0 || h.planes != 1 || !bitCountFits(h))
        return false;

    // The colour masks of a plain information header, then the colour table.
    std::uint64_t tableEnd = fileHeaderBytes + static_cast<std::uint64_t>(headerSize);
    if (h.compression == bitFields && headerSize == infoHeaderBytes)
        tableEnd += 12;
    if (h.bitCount <= 8) {
        const std::uint64_t entries = h.coloursUsed ? h.coloursUsed : (1u << h.bitCount);
        tableEnd += entries * h.paletteEntryBytes;
    }
    if (tableEnd > fileSize)
        return false;

    const std::uint64_t pixelStart = pixelOffset ? pixelOffset : tableEnd;
    std::uint64_t pixelBytes = 0;
    if (h.compression == runLength8 || h.compression == runLength4) {
        // Encoded rows have no size of their own: the header must give it.
        if (h.imageSize == 0)
            return false;
        pixelBytes = h.imageSize;
    } else {
        const std::uint64_t rowBytes =
            (static_cast<std::uint64_t>(h.width) * h.bitCount + 31) / 32 * 4;
        pixelBytes = rowBytes * static_cast<std::uint64_t>(rows);
    }
    return pixelStart <= fileSize && pixelBytes <= fileSize - pixelStart;
}

bool metafileIsWhole(const unsigned char* data, std::size_t size) {
    if (!data || size < metafileHeaderBytes)
        return false;
    const std::uint32_t headerSize = read32(data + 4);
    const std::uint64_t totalBytes = read32(data + 48);
    if (read32(data) != metafileHeaderRecord || read32(data + 40) != metafileSignature ||
        headerSize < metafileHeaderBytes || totalBytes > size)
        return false;
    std::uint64_t at = 0;
    while (at + recordHeaderBytes <= totalBytes) {
        const std::uint32_t type = read32(data + at);
        const std::uint32_t recordSize = read32(data + at + 4);
        if (recordSize < recordHeaderBytes || recordSize % 4 != 0 || recordSize > totalBytes - at)
            return false;
        if (type == metafileEndRecord)
            return true;
        at += recordSize;
    }
    return false;
}
