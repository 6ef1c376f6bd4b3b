#include "pictures/step2_check_picture.h"

#include "pictures/byte_reader.h"

#include <cstring>

namespace {

constexpr unsigned char jpegStart[3] = {0xFF, 0xD8, 0xFF};
constexpr std::uint32_t metafileSignature = 0x464D4520; // " EMF"
constexpr std::uint32_t metafileHeaderRecord = 1;
constexpr std::uint32_t metafileSignatureAt = 40;

constexpr std::uint32_t gifScreenEnd = 13;
constexpr std::uint32_t gifExtension = 0x21;
constexpr std::uint32_t gifImage = 0x2C;
constexpr std::uint32_t gifTrailer = 0x3B;

constexpr std::uint32_t exifOrientationTag = 0x0112;
constexpr std::uint32_t tiffShort = 3;

std::uint64_t gifTableBytes(std::uint32_t packed) {
    return (packed & 0x80) ? 3ull << ((packed & 7) + 1) : 0;
}

// Data sub-blocks from `at` up to their empty terminator; the position after it, or 0.
std::uint64_t skipSubBlocks(const ByteReader& r, std::uint64_t at) {
    for (;;) {
        std::uint32_t length = 0;
        if (!r.u8(at, length))
            return 0;
        ++at;
        if (length == 0)
            return at;
        if (!r.holds(at, length))
            return 0;
        at += length;
    }
}

bool isStartOfFrame(std::uint32_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Arithmetic-coded data that runs out is read on as zeros, so a file of a few hundred bytes
// can keep the decoder busy for seconds over the size its frame declares. Even a uniform
// picture needs a byte per this many pixels; smaller pictures cost little either way.
constexpr std::uint64_t arithmeticPixelsPerByteMax = 16384;
constexpr std::uint64_t arithmeticPixelsAlwaysAllowed = 16ull * 1024 * 1024;

bool isArithmeticFrame(std::uint32_t marker) {
    return isStartOfFrame(marker) && marker >= 0xC9;
}

bool arithmeticWorkFits(std::uint32_t width, std::uint32_t height, std::uint64_t fileSize) {
    const std::uint64_t pixels = static_cast<std::uint64_t>(width) * height;
    return pixels <= arithmeticPixelsAlwaysAllowed ||
           pixels / arithmeticPixelsPerByteMax <= fileSize;
}

// Huffman tables: each a class and id, sixteen counts and as many symbols as they add up to.
bool huffmanTablesFit(const ByteReader& segment) {
    std::uint64_t at = 0;
    while (at < segment.size()) {
        if (!segment.holds(at, 17))
            return false;
        std::uint64_t symbols = 0;
        for (std::uint32_t i = 1; i <= 16; ++i)
            symbols += segment.data()[at + i];
        if (symbols > 256 || !segment.holds(at + 17, symbols))
            return false;
        at += 17 + symbols;
    }
    return true;
}

// Quantisation tables: each a precision and id, then 64 entries of one or two bytes.
bool quantTablesFit(const ByteReader& segment) {
    std::uint64_t at = 0;
    while (at < segment.size()) {
        const std::uint64_t entries = (segment.data()[at] >> 4) ? 128 : 64;
        if ((segment.data()[at] >> 4) > 1 || !segment.holds(at + 1, entries))
            return false;
        at += 1 + entries;
    }
    return true;
}

// The orientation stored in an "Exif" APP1 segment's first image directory.
std::uint32_t exifOrientation(const ByteReader& segment) {
    static const unsigned char exifName[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (!segment.holds(0, 14) || std::memcmp(segment.data(), exifName, 6) != 0)
        return 1;
    const ByteReader tiff = segment.part(6, segment.size() - 6);
    const bool little = tiff.data()[0] == 'I' && tiff.data()[1] == 'I';
    const bool big = tiff.data()[0] == 'M' && tiff.data()[1] == 'M';
    if (!little && !big)
        return 1;
    auto read16 = [&](std::uint64_t at, std::uint32_t& v) {
        return little ? tiff.le16(at, v) : tiff.be16(at, v);
    };
    auto read32 = [&](std::uint64_t at, std::uint32_t& v) {
        return little ? tiff.le32(at, v) : tiff.be32(at, v);
    };
    std::uint32_t magic = 0, directory = 0, entries = 0;
    if (!read16(2, magic) || magic != 42 || !read32(4, directory) || !read16(directory, entries))
        return 1;
    for (std::uint32_t i = 0; i < entries; ++i) {
        const std::uint64_t entry = static_cast<std::uint64_t>(directory) + 2 + 12ull * i;
        std::uint32_t tag = 0, type = 0, count = 0, value = 0;
        if (!read16(entry, tag) || !read16(entry + 2, type) || !read32(entry + 4, count) ||
            !read16(entry + 8, value))
            return 1;
        if (tag == exifOrientationTag)
            return type == tiffShort && count >= 1 && value >= 1 && value <= 8 ? value : 1;
    }
    return 1;
}

// Walks the markers from the start of image up to the first scan; `orientation` gets the
// EXIF tag of the first Exif segment.
bool walkJpeg(const ByteReader& r, PictureCheck& check) {
    bool frameSeen = false;
    bool exifSeen = false;
    std::uint64_t at = 2;
    for (;;) {
        std::uint32_t byte = 0;
        if (!r.u8(at, byte) || byte != 0xFF)
            return false;
        while (r.u8(at, byte) && byte == 0xFF) // fill bytes before a marker
            ++at;
        std::uint32_t marker = 0;
        if (!r.u8(at, marker))
            return false;
        ++at;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue; // markers without a segment
        if (marker == 0xD8 || marker == 0xD9 || marker == 0x00)
            return false; // a second start, or the end before any scan
        std::uint32_t length = 0;
        if (!r.be16(at, length) || length < 2 || !r.holds(at, length))
            return false;
        const ByteReader segment = r.part(at + 2, length - 2);
        if (isStartOfFrame(marker)) {
            std::uint32_t precision = 0, height = 0, width = 0, components = 0;
            if (frameSeen || !segment.u8(0, precision) || !segment.be16(1, height) ||
                !segment.be16(3, width) || !segment.u8(5, components))
                return false;
            if ((precision != 8 && precision != 12) || height == 0 || width == 0 ||
                components < 1 || components > 4 || segment.size() != 6 + 3ull * components)
                return false;
            if (isArithmeticFrame(marker) && !arithmeticWorkFits(width, height, r.size()))
                return false;
            check.width = width;
            check.height = height;
            frameSeen = true;
        } else if (marker == 0xC4) {
            if (!huffmanTablesFit(segment))
                return false;
        } else if (marker == 0xDB) {
            if (!quantTablesFit(segment))
                return false;
        } else if (marker == 0xE1 && !exifSeen && segment.holds(0, 6) &&
                   std::memcmp(segment.data(), "Exif", 4) == 0) {
            exifSeen = true;
            check.orientation = exifOrientation(segment);
        } else if (marker == 0xDA) {
            std::uint32_t components = 0;
            if (!frameSeen || !segment.u8(0, components) || components < 1 || components > 4 ||
                segment.size() != 4 + 2ull * components)
                return false;
            // The entropy-coded data follows; the decoder reads it with its own bounds.
            return r.size() > at + length;
        }
        at += length;
    }
}

} // namespace

bool contentIs(PictureFormat format, const unsigned char* data, std::size_t size) {
    const ByteReader r(data, size);
    switch (format) {
    case FormatBmp:
        return r.holds(0, 2) && data[0] == 'B' && data[1] == 'M';
    case FormatGif:
        return r.holds(0, 6) &&
               (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
    case FormatJpeg:
        return r.holds(0, 3) && std::memcmp(data, jpegStart, 3) == 0;
    case FormatEmf: {
        std::uint32_t type = 0, signature = 0;
        return r.le32(0, type) && r.le32(metafileSignatureAt, signature) &&
               type == metafileHeaderRecord && signature == metafileSignature;
    }
    }
    return false;
}

bool withinDecodeBudget(std::uint32_t width, std::uint32_t height) {
    return width > 0 && height > 0 &&
           static_cast<std::uint64_t>(width) * height * 4 <= decodedPictureBudgetBytes;
}

PictureCheck checkPicture(PictureFormat format, const unsigned char* data, std::size_t size) {
    PictureCheck check;
    switch (format) {
    case FormatBmp:
        check = checkBitmapFile(data, size);
        break;
    case FormatGif:
        check = checkGif(data, size);
        break;
    case FormatJpeg:
        check = checkJpeg(data, size);
        break;
    case FormatEmf:
        return checkMetafile(data, size); // drawn straight into the surface, never decoded
    }
    // A JPEG is decoded at a reduced scale; its budget is held where that scale is known.
    if (check.valid && format != FormatJpeg && !withinDecodeBudget(check.width, check.height))
        check.valid = false;
    return check;
}

PictureCheck checkGif(const unsigned char* data, std::size_t size) {
    PictureCheck check;
    const ByteReader r(data, size);
    std::uint32_t width = 0, height = 0, packed = 0;
    if (!contentIs(FormatGif, data, size) || !r.le16(6, width) || !r.le16(8, height) ||
        !r.u8(10, packed) || !r.holds(gifScreenEnd, gifTableBytes(packed)))
        return check;
    std::uint64_t at = gifScreenEnd + gifTableBytes(packed);
    std::uint32_t images = 0;
    for (;;) {
        std::uint32_t block = 0;
        if (!r.u8(at, block))
            break; // some writers leave out the trailer; the blocks before it are whole
        if (block == gifTrailer)
            break;
        if (block == gifExtension) {
            std::uint32_t label = 0;
            if (!r.u8(at + 1, label) || (at = skipSubBlocks(r, at + 2)) == 0)
                return check;
        } else if (block == gifImage) {
            std::uint32_t left = 0, top = 0, w = 0, h = 0, imagePacked = 0, codeSize = 0;
            if (!r.le16(at + 1, left) || !r.le16(at + 3, top) || !r.le16(at + 5, w) ||
                !r.le16(at + 7, h) || !r.u8(at + 9, imagePacked) || w == 0 || h == 0)
                return check;
            at += 10;
            const std::uint64_t table = gifTableBytes(imagePacked);
            if (!r.holds(at, table))
                return check;
            at += table;
            if (!r.u8(at, codeSize) || codeSize < 1 || codeSize > 8 ||
                (at = skipSubBlocks(r, at + 1)) == 0)
                return check;
            // The decoded picture covers the screen and every image placed on it.
            if (left + w > width)
                width = left + w;
            if (top + h > height)
                height = top + h;
            ++images;
        } else {
            return check;
        }
    }
    check.valid = images > 0;
    check.width = width;
    check.height = height;
    return check;
}

PictureCheck checkJpeg(const unsigned char* data, std::size_t size) {
    PictureCheck check;
    if (!contentIs(FormatJpeg, data, size))
        return check;
    check.valid = walkJpeg(ByteReader(data, size), check);
    return check;
}

std::uint32_t jpegOrientation(const unsigned char* data, std::size_t size) {
    const PictureCheck check = checkJpeg(data, size);
    return check.valid ? check.orientation : 1;
}

bool isReservedDeviceName(const char* fileName) {
    if (!fileName)
        return false;
    const char* base = fileName;
    for (const char* p = fileName; *p; ++p)
        if (*p == '\\' || *p == '/' || *p == ':')
            base = p + 1;
    // The device name is the part before the first dot, trailing blanks left out.
    std::size_t length = 0;
    while (base[length] && base[length] != '.')
        ++length;
    while (length > 0 && base[length - 1] == ' ')
        --length;
    char stem[8] = {};
    if (length == 0 || length >= sizeof(stem))
        return false;
    for (std::size_t i = 0; i < length; ++i) {
        const char c = base[i];
        stem[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    static const char* const fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
    for (const char* name : fixed)
        if (std::strcmp(stem, name) == 0)
            return true;
    return length == 4 && (std::memcmp(stem, "COM", 3) == 0 || std::memcmp(stem, "LPT", 3) == 0) &&
           stem[3] >= '1' && stem[3] <= '9';
}
