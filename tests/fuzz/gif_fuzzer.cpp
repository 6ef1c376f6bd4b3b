// Feeds arbitrary bytes to the GIF check. What it accepts, an independent walk of the block
// chain must find whole inside the data, with at least one image.
#include "pictures/step2_check_picture.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstdint>
#include <cstdlib>

namespace {

// Skips data sub-blocks; aborts when one runs past the end.
std::size_t subBlocks(const std::uint8_t* data, std::size_t size, std::size_t at) {
    for (;;) {
        require(at < size);
        const std::size_t length = data[at++];
        if (length == 0)
            return at;
        require(length <= size - at);
        at += length;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PictureCheck check = checkPicture(FormatGif, data, size);
    if (!check.valid)
        return 0;
    require(size >= 13 && withinDecodeBudget(check.width, check.height));
    std::size_t at = 13 + ((data[10] & 0x80) ? 3u << ((data[10] & 7) + 1) : 0);
    int images = 0;
    while (at < size && data[at] != 0x3B) {
        if (data[at] == 0x21) {
            require(at + 2 <= size);
            at = subBlocks(data, size, at + 2);
        } else {
            require(data[at] == 0x2C && at + 11 <= size);
            const std::uint32_t w = data[at + 5] | data[at + 6] << 8;
            const std::uint32_t h = data[at + 7] | data[at + 8] << 8;
            require(w <= check.width && h <= check.height);
            const std::uint8_t packed = data[at + 9];
            at += 10 + ((packed & 0x80) ? 3u << ((packed & 7) + 1) : 0);
            require(at < size && data[at] >= 1 && data[at] <= 8);
            at = subBlocks(data, size, at + 1);
            ++images;
        }
    }
    require(images > 0);
    return 0;
}
