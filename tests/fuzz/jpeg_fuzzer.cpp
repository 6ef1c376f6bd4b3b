// Feeds arbitrary bytes to the JPEG check, the EXIF orientation reader and the decoding.
// What the check accepts has an independent walk of the segment lengths reach a start of
// scan inside the data, and decodes for a screen within the budget or fails cleanly.
#include "pictures/step2_check_picture.h"
#include "pictures/step3_decode_jpeg.h"
#include "pictures/step4_orient.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t orientation = jpegOrientation(data, size);
    require(orientation >= 1 && orientation <= 8);
    const PictureCheck check = checkPicture(FormatJpeg, data, size);
    if (!check.valid)
        return 0;
    std::size_t at = 2;
    bool scan = false;
    while (!scan) {
        require(at < size && data[at] == 0xFF);
        while (at < size && data[at] == 0xFF)
            ++at;
        require(at < size);
        const std::uint8_t marker = data[at++];
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;
        require(at + 2 <= size);
        const std::size_t length = static_cast<std::size_t>(data[at] << 8 | data[at + 1]);
        require(length >= 2 && length <= size - at);
        scan = marker == 0xDA;
        at += length;
    }
    require(at < size);

    // Screens from 16 x 12 to 2056 x 1542, so that every scale is chosen.
    const std::uint32_t fitWidth = 16 + data[size - 1] * 8u;
    JpegDecoder decoder(data, size);
    if (decoder.plan(check.orientation, fitWidth, fitWidth * 3 / 4)) {
        const std::uint64_t pixels = static_cast<std::uint64_t>(decoder.width()) * decoder.height();
        require(pixels > 0 && pixels * 4 <= decoder.bytesHeld());
        require(decoder.bytesHeld() <= decodedPictureBudgetBytes);
        std::vector<std::uint32_t> decoded(static_cast<std::size_t>(pixels));
        decoder.decode(decoded.data());
    }

    // Turning a small picture of the declared orientation stays inside both buffers.
    std::uint32_t w = 0, h = 0;
    orientedSize(orientation, 3, 2, w, h);
    const std::vector<std::uint32_t> in(6, 1);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(w) * h, 0);
    orientPixels(in.data(), 3, 2, orientation, out.data());
    return 0;
}
