// Validation of a picture file from the bytes read once from it, before any system decoder
// sees them. The file name's ending chooses the format; the content must then be that format
// and every structure the decoder will follow must lie inside the bytes. Portable: no
// Windows header, so each check runs natively under the unit tests and the fuzzers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

enum class PictureContent { Bitmap, Gif, Jpeg, Metafile };

// Decoded pictures above this many bytes (declared width x height x 4) are skipped before
// any decoder runs. A 32-bit process has 2 GB of addresses; this leaves room for the file's
// bytes (up to 256 MB), the full-screen surfaces and a JPEG decoder's own working copies.
// It still shows 12, 24, 48, 50 and 61 megapixel camera photos; 100 MP and above are skipped.
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
bool contentIs(PictureContent format, const unsigned char* data, std::size_t size);

// The full check of a file meant to hold `format`. A file whose content is of another
// format, or whose structures reach outside `size`, is not valid.
PictureCheck checkPicture(PictureContent format, const unsigned char* data, std::size_t size);

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

// A bitmap ready for the system's DIB calls: a 40-byte information header, three masks
// for bit fields, a colour table of every entry the bit count can index (missing entries
// black), and the pixel rows. Run-length pixels are decoded here, bounded by the picture,
// into 8-bit indices, so the system never follows an encoded stream.
struct PlainDib {
    std::vector<unsigned char> info;
    const unsigned char* pixels = nullptr; // into the file's bytes or into `decoded`
    std::vector<unsigned char> decoded;
};
bool makePlainDib(const unsigned char* data, std::size_t size, const DibDescription& dib,
                  PlainDib& out);

// Decodes a run-length stream (RLE8 when `fourBit` is false) into 8-bit indices, rows
// bottom-up, `stride` bytes apart. Runs that reach past a row or past the last row are
// cut; false for a stream that ends before its end-of-bitmap mark or is malformed.
bool decodeRunLength(const unsigned char* stream, std::size_t size, bool fourBit,
                     std::uint32_t width, std::uint32_t rows, std::uint32_t stride,
                     unsigned char* out);

// The EXIF orientation tag (0x0112) of a JPEG's APP1 segment; 1 when there is none.
std::uint32_t jpegOrientation(const unsigned char* data, std::size_t size);

// Size of a picture once turned as an EXIF orientation says (5 to 8 swap the sides).
void orientedSize(std::uint32_t orientation, std::uint32_t width, std::uint32_t height,
                  std::uint32_t& outWidth, std::uint32_t& outHeight);

// Turns or mirrors 32-bit pixels, rows top-down and packed, as the orientation says, into
// `out` of the oriented size.
void orientPixels(const std::uint32_t* in, std::uint32_t width, std::uint32_t height,
                  std::uint32_t orientation, std::uint32_t* out);

// True when a file name is a device name that Windows opens as a device in any folder
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, CONIN$, CONOUT$, with or without an ending).
bool isReservedDeviceName(const char* fileName);
