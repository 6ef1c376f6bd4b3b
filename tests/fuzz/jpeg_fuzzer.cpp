// Feeds arbitrary bytes to the JPEG check and the EXIF orientation reader. What the check
// accepts has its frame size inside the budget, and an independent walk of the segment
// lengths reaches a start of scan inside the data.
#include "pictures/picture_validation.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::uint32_t orientation = jpegOrientation(data, size);
    require(orientation >= 1 && orientation <= 8);
    const PictureCheck check = checkPicture(PictureContent::Jpeg, data, size);
    if (!check.valid)
        return 0;
    require(withinDecodeBudget(check.width, check.height));
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

    // Turning a small picture of the declared orientation stays inside both buffers.
    std::uint32_t w = 0, h = 0;
    orientedSize(orientation, 3, 2, w, h);
    const std::vector<std::uint32_t> in(6, 1);
    std::vector<std::uint32_t> out(static_cast<std::size_t>(w) * h, 0);
    orientPixels(in.data(), 3, 2, orientation, out.data());
    return 0;
}
