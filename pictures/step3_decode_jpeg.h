// The decoding step of a JPEG photo: decoded by libjpeg-turbo straight to about the size it
// is shown at, the reduction done in the DCT (n/8 of the stored size, n from 1 to 8).
// Portable: no Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

// The smallest scale, in eighths, at which a picture of width x height, turned as the
// EXIF orientation says and cropped to the shape of fitWidth x fitHeight, still gives the
// fit at least one stored pixel for each pixel it draws. 8 when even the whole picture has
// fewer.
std::uint32_t jpegScaleEighths(std::uint32_t width, std::uint32_t height, std::uint32_t orientation,
                               std::uint32_t fitWidth, std::uint32_t fitHeight);

// What decoding a JPEG at the chosen scale holds at once: the decoded pixels, 4 bytes each,
// and for a file in several scans (progressive ones) the coefficients of the whole picture
// at full size, 2 bytes each, which the library keeps until the last scan.
std::uint64_t jpegDecodeBytes(std::uint32_t outWidth, std::uint32_t outHeight,
                              std::uint64_t coefficientBytes);

// One photo's decoding over the file's bytes, which must outlive it. A libjpeg error or
// warning (corrupt or cut-off data) ends it: the calls then return false, and nothing is
// left allocated once it is destroyed.
class JpegDecoder {
  public:
    JpegDecoder(const unsigned char* data, std::size_t size);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Reads the header and chooses the scale for a fit to fitWidth x fitHeight. False for a
    // file the library refuses, or one whose decoding would need more than the budget.
    bool plan(std::uint32_t orientation, std::uint32_t fitWidth, std::uint32_t fitHeight);
    // After plan: the decoded size, the scale and the bytes decoding holds.
    std::uint32_t width() const;
    std::uint32_t height() const;
    std::uint32_t scaleEighths() const;
    std::uint64_t bytesHeld() const;

    // Decodes into width() x height() pixels, rows top-down and packed, each 0xXXRRGGBB (the
    // top byte unused).
    // Greyscale, colour, CMYK and YCCK files all come out so.
    bool decode(std::uint32_t* out);

    // Why it ended, as libjpeg says it; empty when nothing went wrong.
    const char* failure() const;

    struct State;

  private:
    std::unique_ptr<State> state_;
};
