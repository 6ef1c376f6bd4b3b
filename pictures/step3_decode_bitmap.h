// The decoding step of a BMP file: its pixels made ready for the system's DIB calls.
// Portable: no Windows header.
#pragma once

#include "pictures/step2_check_picture.h"

#include <cstddef>
#include <cstdint>
#include <vector>

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
