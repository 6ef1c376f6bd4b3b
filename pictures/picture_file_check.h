// Checks of a picture file's structure against its length before the system draws it:
// loaders that trust the headers read past the end of a truncated or garbled file.
#pragma once

#include <cstddef>
#include <cstdint>

// Bytes of the file's start that the check needs: file header, the largest information
// header and the colour masks that may follow it.
constexpr std::size_t bitmapFileHeadBytes = 14 + 124 + 12;

// `head` holds the first `headBytes` bytes of a file of `fileSize` bytes. True when it is
// a BMP file of a kind the loader draws (uncompressed, bit fields or run-length encoded)
// whose colour table and pixel rows, as its headers describe them, lie inside the file.
bool bitmapFileIsWhole(const unsigned char* head, std::size_t headBytes, std::uint64_t fileSize);

// `data` holds a whole enhanced metafile of `size` bytes. True when its header is one and
// its records follow each other inside the size the header gives, up to the end record.
bool metafileIsWhole(const unsigned char* data, std::size_t size);
