// The orienting step: a photo turned upright as its EXIF orientation says.
// Portable: no Windows header.
#pragma once

#include <cstdint>

// Size of a picture once turned as an EXIF orientation says (5 to 8 swap the sides).
void orientedSize(std::uint32_t orientation, std::uint32_t width, std::uint32_t height,
                  std::uint32_t& outWidth, std::uint32_t& outHeight);

// Turns or mirrors 32-bit pixels, rows top-down and packed, as the orientation says, into
// `out` of the oriented size.
void orientPixels(const std::uint32_t* in, std::uint32_t width, std::uint32_t height,
                  std::uint32_t orientation, std::uint32_t* out);
