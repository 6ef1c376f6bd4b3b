#include "pictures/step3_decode_bitmap.h"

#include "pictures/byte_reader.h"

#include <cstring>

namespace {

constexpr std::uint32_t infoHeaderBytes = 40;
constexpr std::uint32_t maskBytes = 12;
constexpr std::uint32_t plainInfoEntries = 256;

enum Compression : std::uint32_t { plainRgb = 0, runLength8 = 1, runLength4 = 2, bitFields = 3 };

void put16(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}

void put32(unsigned char* p, std::uint32_t v) {
    put16(p, v & 0xFFFF);
    put16(p + 2, v >> 16);
}

std::uint64_t rowBytesOf(std::uint64_t width, std::uint32_t bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

} // namespace

bool decodeRunLength(const unsigned char* stream, std::size_t size, bool fourBit,
                     std::uint32_t width, std::uint32_t rows, std::uint32_t stride,
                     unsigned char* out) {
    if (!stream)
        return false;
    std::uint64_t x = 0, y = 0;
    auto put = [&](std::uint32_t index) {
        if (out && x < width && y < rows)
            out[y * stride + x] = static_cast<unsigned char>(index);
        ++x;
    };
    std::size_t at = 0;
    while (at + 2 <= size) {
        const std::uint32_t count = stream[at];
        const std::uint32_t value = stream[at + 1];
        at += 2;
        if (count > 0) {
            // A run past the row's end is cut there.
            const std::uint32_t drawn =
                x < width ? static_cast<std::uint32_t>(
                                count < width - x ? count : static_cast<std::uint32_t>(width - x))
                          : 0;
            for (std::uint32_t i = 0; i < drawn; ++i)
                put(fourBit ? (i % 2 ? value & 0x0F : value >> 4) : value);
            x += count - drawn;
            continue;
        }
        switch (value) {
        case 0: // end of row
            x = 0;
            ++y;
            break;
        case 1: // end of bitmap
            return true;
        case 2: // move right and up
            if (at + 2 > size)
                return false;
            x += stream[at];
            y += stream[at + 1];
            at += 2;
            break;
        default: { // `value` pixels stored as they are, padded to a whole word
            const std::size_t bytes = fourBit ? (value + 1) / 2 : value;
            const std::size_t padded = (bytes + 1) / 2 * 2;
            if (padded > size - at)
                return false;
            for (std::uint32_t i = 0; i < value; ++i) {
                const std::uint32_t b = stream[at + (fourBit ? i / 2 : i)];
                put(fourBit ? (i % 2 ? b & 0x0F : b >> 4) : b);
            }
            at += padded;
            break;
        }
        }
        if (x > 0xFFFFFFFFull || y > 0xFFFFFFFFull)
            return false;
    }
    return false;
}

bool makePlainDib(const unsigned char* data, std::size_t size, const DibDescription& dib,
                  PlainDib& out) {
    const ByteReader all(data, size);
    const bool encoded = dib.compression == runLength8 || dib.compression == runLength4;
    const std::uint32_t bitCount = encoded ? 8 : dib.bitCount;
    const std::uint32_t width = static_cast<std::uint32_t>(dib.width);
    const std::uint32_t rows = static_cast<std::uint32_t>(
        dib.height < 0 ? -static_cast<std::int64_t>(dib.height) : dib.height);
    if (!all.holds(dib.pixelOffset, dib.pixelBytes) ||
        !all.holds(dib.paletteOffset,
                   static_cast<std::uint64_t>(dib.paletteEntries) * dib.paletteEntryBytes))
        return false;

    const bool masked = dib.compression == bitFields;
    const std::uint32_t entries = bitCount <= 8 ? 1u << bitCount : 0;
    out.info.assign(infoHeaderBytes + (masked ? maskBytes : 0) + entries * 4, 0);
    unsigned char* h = out.info.data();
    put32(h, infoHeaderBytes);
    put32(h + 4, width);
    put32(h + 8,
          static_cast<std::uint32_t>(encoded ? static_cast<std::int32_t>(rows) : dib.height));
    put16(h + 12, 1);
    put16(h + 14, bitCount);
    put32(h + 16, masked ? bitFields : plainRgb);
    unsigned char* after = h + infoHeaderBytes;
    if (masked) {
        for (int i = 0; i < 3; ++i)
            put32(after + 4 * i, dib.masks[i]);
        after += maskBytes;
    }
    // Colours only: a table of palette indices has no meaning outside a device context.
    if (entries > 0 && dib.paletteEntryBytes != 2) {
        const std::uint32_t stored = dib.paletteEntries < entries ? dib.paletteEntries : entries;
        for (std::uint32_t i = 0; i < stored && i < plainInfoEntries; ++i)
            std::memcpy(after + 4 * i, data + dib.paletteOffset + i * dib.paletteEntryBytes, 3);
    }

    if (!encoded) {
        out.decoded.clear();
        out.pixels = data + dib.pixelOffset;
        return true;
    }
    const std::uint32_t stride = static_cast<std::uint32_t>(rowBytesOf(width, 8));
    out.decoded.assign(static_cast<std::size_t>(stride) * rows, 0);
    out.pixels = out.decoded.data();
    return decodeRunLength(data + dib.pixelOffset, static_cast<std::size_t>(dib.pixelBytes),
                           dib.compression == runLength4, width, rows, stride, out.decoded.data());
}
