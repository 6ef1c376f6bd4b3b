// The second step of a picture's road: validation of a picture file from the bytes read once
// from it, before any decoder sees them. The folder walk chose the format from the file's
// name; the content must then be that format and every structure the decoder will follow
// must lie inside the bytes. Portable: no Windows header, so each check runs natively under
// the unit tests and the fuzzers.
#pragma once

#include "pictures/picture_format.h"

#include <cstddef>
#include <cstdint>

// Decoded pictures above this many bytes are skipped before they are decoded: a GIF's
// declared width x height x 4; for a JPEG what is decoded at the scale chosen for the screen,
// with the coefficients a progressive file keeps (see the JPEG decoding step). This leaves
// room beside it for the file's bytes (up to 256 MB) and the full-screen surfaces.
constexpr std::uint64_t decodedPictureBudgetBytes = 256ull * 1024 * 1024;

// Handle tables of enhanced metafiles above this many entries are refused.
constexpr std::uint32_t maxMetafileHandles = 16384;

// The bitmap information a BMP file or a metafile's bitmap record carries, as read from it.
struct DibDescription {
    std::uint32_t headerBytes = 0; // 12, 40, 52, 56, 108 or 124
    std::int32_t width = 0;
    std::int32_t height = 0; // negative: rows stored top-down
    std::uint32_t bitCount = 0;
    std::uint32_t compression = 0;      // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields
    std::uint32_t masks[3] = {0, 0, 0}; // red, green, blue, for bit fields
    std::uint32_t paletteEntries = 0;   // entries stored in the file
    std::uint32_t paletteEntryBytes = 4;
    std::uint64_t paletteOffset = 0; // from the start of the block
    std::uint64_t pixelOffset = 0;
    std::uint64_t pixelBytes = 0; // bytes the decoder reads: rows, or the encoded stream
};

// What a valid picture declares.
struct PictureCheck {
    bool valid = false;
    std::uint32_t width = 0; // of the decoded picture; 0 for a metafile
    std::uint32_t height = 0;
    std::uint32_t orientation = 1;   // JPEG EXIF orientation, 1 to 8; 1 is upright
    std::uint64_t metafileBytes = 0; // the metafile's own size, which may be less than the file
    DibDescription dib;              // for a BMP file
};

// The format whose signature starts the bytes, when any does.
bool contentIs(PictureFormat format, const unsigned char* data, std::size_t size);

// The full check of a file meant to hold `format`. A file whose content is of another
// format, or whose structures reach outside `size`, is not valid. A JPEG's size is not held
// against the budget here: the decoding step does that once it knows the scale.
PictureCheck checkPicture(PictureFormat format, const unsigned char* data, std::size_t size);

// True when a picture of this declared size decodes within the budget.
bool withinDecodeBudget(std::uint32_t width, std::uint32_t height);

// The individual checks. Each reads only inside [data, data + size).
PictureCheck checkBitmapFile(const unsigned char* data, std::size_t size);
PictureCheck checkGif(const unsigned char* data, std::size_t size);
PictureCheck checkJpeg(const unsigned char* data, std::size_t size);
PictureCheck checkMetafile(const unsigned char* data, std::size_t size);

// Reads a DIB's information header at `headerAt` within `headerLimit` bytes of the block,
// with its pixels at `pixelAt` (0: right after the colour table) within `pixelLimit` bytes
// from there (0: up to the block's end). `paletteEntryBytes` is 4 for colours, 2 for
// palette indices. True when the headers, table and pixels as described lie inside.
bool readDib(const unsigned char* data, std::size_t size, std::uint64_t headerAt,
             std::uint64_t headerLimit, std::uint64_t pixelAt, std::uint64_t pixelLimit,
             std::uint32_t paletteEntryBytes, std::uint32_t rowsNeeded, DibDescription& dib);

// The EXIF orientation tag (0x0112) of a JPEG's APP1 segment; 1 when there is none.
std::uint32_t jpegOrientation(const unsigned char* data, std::size_t size);

// True when a file name is a device name that Windows opens as a device in any folder
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without an ending).
bool isReservedDeviceName(const char* fileName);
