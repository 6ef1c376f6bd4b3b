// Feeds arbitrary run-length streams to the decoder with a picture size taken from the
// first bytes: it must write only inside the rows it was given, whatever the stream says.
#include "pictures/step2_check_picture.h"
#include "pictures/step3_decode_bitmap.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    const std::uint32_t width = 1 + data[0] % 64;
    const std::uint32_t rows = 1 + data[1] % 64;
    const bool fourBit = data[2] & 1;
    const std::uint32_t stride = (width + 3) / 4 * 4;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(stride) * rows);
    decodeRunLength(data + 3, size - 3, fourBit, width, rows, stride, out.data());
    return 0;
}
