#include "pictures/byte_reader.h"
#include "pictures/step2_check_picture.h"
#include "pictures/step3_decode_bitmap.h"

#include <cstring>

namespace {

constexpr std::uint32_t fileHeaderBytes = 14;
constexpr std::uint32_t coreHeaderBytes = 12;
constexpr std::uint32_t infoHeaderBytes = 40;
constexpr std::uint32_t maskBytes = 12;

enum Compression : std::uint32_t { plainRgb = 0, runLength8 = 1, runLength4 = 2, bitFields = 3 };

bool knownHeaderSize(std::uint32_t size) {
    return size == coreHeaderBytes || size == infoHeaderBytes || size == 52 || size == 56 ||
           size == 108 || size == 124;
}

bool bitCountFits(std::uint32_t bitCount, std::uint32_t compression) {
    switch (compression) {
    case plainRgb:
        return bitCount == 1 || bitCount == 4 || bitCount == 8 || bitCount == 16 ||
               bitCount == 24 || bitCount == 32;
    case runLength8:
        return bitCount == 8;
    case runLength4:
        return bitCount == 4;
    case bitFields:
        return bitCount == 16 || bitCount == 32;
    default:
        return false;
    }
}

// A mask names one run of bits within the pixel, and no two masks share a bit.
bool masksFit(const std::uint32_t masks[3], std::uint32_t bitCount) {
    const std::uint64_t pixelBits = (1ull << bitCount) - 1;
    std::uint32_t seen = 0;
    for (int i = 0; i < 3; ++i) {
        const std::uint32_t m = masks[i];
        if (m == 0 || (m & ~pixelBits) != 0 || (m & seen) != 0)
            return false;
        const std::uint32_t lowest = m & (~m + 1);
        const std::uint64_t shifted = static_cast<std::uint64_t>(m) + lowest;
        if ((shifted & (shifted - 1)) != 0) // not one contiguous run
            return false;
        seen |= m;
    }
    return true;
}

std::uint64_t rowBytesOf(std::uint64_t width, std::uint32_t bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

} // namespace

bool readDib(const unsigned char* data, std::size_t size, std::uint64_t headerAt,
             std::uint64_t headerLimit, std::uint64_t pixelAt, std::uint64_t pixelLimit,
             std::uint32_t paletteEntryBytes, std::uint32_t rowsNeeded, DibDescription& dib) {
    const ByteReader all(data, size);
    const ByteReader info = all.part(headerAt, headerLimit);
    std::uint32_t headerSize = 0;
    if (!info.le32(0, headerSize) || !knownHeaderSize(headerSize) || !info.holds(0, headerSize))
        return false;
    dib = DibDescription{};
    dib.headerBytes = headerSize;
    std::uint32_t planes = 0, bitCount = 0, coloursUsed = 0, imageSize = 0;
    std::uint64_t tableAt = headerSize;
    if (headerSize == coreHeaderBytes) {
        std::uint32_t w = 0, h = 0;
        info.le16(4, w);
        info.le16(6, h);
        info.le16(8, planes);
        info.le16(10, bitCount);
        if (h == 0 || w == 0 || (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24))
            return false;
        dib.width = static_cast<std::int32_t>(w);
        dib.height = static_cast<std::int32_t>(h);
        // Colours of the old header are three bytes; indices stay two.
        if (paletteEntryBytes == 4)
            paletteEntryBytes = 3;
    } else {
        std::uint32_t w = 0, h = 0;
        info.le32(4, w);
        info.le32(8, h);
        info.le16(12, planes);
        info.le16(14, bitCount);
        info.le32(16, dib.compression);
        info.le32(20, imageSize);
        info.le32(32, coloursUsed);
        dib.width = static_cast<std::int32_t>(w);
        dib.height = static_cast<std::int32_t>(h);
        if (dib.width <= 0 || dib.height == 0 || h == 0x80000000u)
            return false;
        if (dib.compression == bitFields) {
            if (headerSize == infoHeaderBytes) {
                if (!info.holds(tableAt, maskBytes))
                    return false;
                tableAt += maskBytes;
                info.le32(40, dib.masks[0]);
                info.le32(44, dib.masks[1]);
                info.le32(48, dib.masks[2]);
            } else {
                info.le32(40, dib.masks[0]);
                info.le32(44, dib.masks[1]);
                info.le32(48, dib.masks[2]);
            }
        }
    }
    dib.bitCount = bitCount;
    if (planes != 1 || !bitCountFits(bitCount, dib.compression))
        return false;
    if (dib.compression == bitFields && !masksFit(dib.masks, bitCount))
        return false;
    const bool encoded = dib.compression == runLength8 || dib.compression == runLength4;
    if (encoded && dib.height < 0) // encoded rows are always stored bottom-up
        return false;

    // The colour table: every entry the bits can index unless fewer are named; above 8
    // bits an optional table of the named size still comes before the pixels.
    if (bitCount <= 8) {
        const std::uint32_t most = 1u << bitCount;
        if (coloursUsed > most)
            return false;
        dib.paletteEntries = coloursUsed ? coloursUsed : most;
    } else {
        dib.paletteEntries = coloursUsed;
    }
    dib.paletteEntryBytes = paletteEntryBytes;
    const std::uint64_t tableBytes =
        static_cast<std::uint64_t>(dib.paletteEntries) * paletteEntryBytes;
    if (!info.holds(tableAt, tableBytes))
        return false;
    dib.paletteOffset = headerAt + tableAt;
    const std::uint64_t tableEnd = dib.paletteOffset + tableBytes;

    if (pixelAt == 0)
        pixelAt = tableEnd;
    const std::uint64_t available =
        pixelLimit ? pixelLimit : (pixelAt <= size ? size - pixelAt : 0);
    if (!all.holds(pixelAt, available))
        return false;
    dib.pixelOffset = pixelAt;

    const std::uint64_t rows = static_cast<std::uint64_t>(
        dib.height < 0 ? -static_cast<std::int64_t>(dib.height) : dib.height);
    if (rowsNeeded > rows)
        return false;
    if (encoded) {
        // The stream must end with its own mark within the bytes it has.
        const std::uint64_t streamBytes =
            imageSize && imageSize < available ? imageSize : available;
        if (imageSize > available)
            return false;
        dib.pixelBytes = streamBytes;
        return decodeRunLength(data + pixelAt, static_cast<std::size_t>(streamBytes),
                               dib.compression == runLength4, static_cast<std::uint32_t>(dib.width),
                               static_cast<std::uint32_t>(rows), 0, nullptr);
    }
    const std::uint64_t needed = rowBytesOf(static_cast<std::uint64_t>(dib.width), bitCount) *
                                 (rowsNeeded ? rowsNeeded : rows);
    if (needed > available)
        return false;
    dib.pixelBytes = needed;
    return true;
}

PictureCheck checkBitmapFile(const unsigned char* data, std::size_t size) {
    PictureCheck check;
    const ByteReader file(data, size);
    std::uint32_t pixelOffset = 0;
    if (!contentIs(FormatBmp, data, size) || !file.le32(10, pixelOffset))
        return check;
    DibDescription dib;
    if (!readDib(data, size, fileHeaderBytes, size - fileHeaderBytes, 0, 0, 4, 0, dib))
        return check;
    // The pixels come where the file header says, after the headers and the colour table.
    if (pixelOffset != 0) {
        const std::uint64_t tableEnd =
            dib.paletteOffset +
            static_cast<std::uint64_t>(dib.paletteEntries) * dib.paletteEntryBytes;
        if (pixelOffset < tableEnd || !readDib(data, size, fileHeaderBytes, size - fileHeaderBytes,
                                               pixelOffset, 0, 4, 0, dib))
            return check;
    }
    check.dib = dib;
    check.width = static_cast<std::uint32_t>(dib.width);
    check.height = static_cast<std::uint32_t>(
        dib.height < 0 ? -static_cast<std::int64_t>(dib.height) : dib.height);
    check.valid = true;
    return check;
}
