// Feeds arbitrary bytes to the BMP check. What it accepts, a plain reading of every row and
// colour entry it describes must find inside the data (the address sanitizer watches the
// input's exact bounds), and the bitmap handed to the system must be whole.
#include "pictures/step2_check_picture.h"
#include "pictures/step3_decode_bitmap.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PictureCheck check = checkPicture(FormatBmp, data, size);
    if (!check.valid)
        return 0;
    require(withinDecodeBudget(check.width, check.height));
    const DibDescription& dib = check.dib;
    require(dib.pixelOffset + dib.pixelBytes <= size);

    // The reference reading: the colour table and the pixel bytes, byte by byte.
    volatile unsigned sum = 0;
    const std::uint64_t table =
        static_cast<std::uint64_t>(dib.paletteEntries) * dib.paletteEntryBytes;
    for (std::uint64_t i = 0; i < table; ++i)
        sum = sum + data[dib.paletteOffset + i];
    for (std::uint64_t i = 0; i < dib.pixelBytes; ++i)
        sum = sum + data[dib.pixelOffset + i];

    PlainDib plain;
    require(makePlainDib(data, size, dib, plain));
    const std::uint32_t bits = plain.info[14] | plain.info[15] << 8;
    const std::uint64_t stride = (static_cast<std::uint64_t>(check.width) * bits + 31) / 32 * 4;
    const std::uint64_t rows = stride * check.height;
    const std::uint8_t* pixels = plain.pixels;
    if (!plain.decoded.empty())
        require(plain.decoded.size() == rows);
    else
        require(pixels >= data && pixels + rows <= data + size);
    for (std::uint64_t i = 0; i < rows; ++i)
        sum = sum + pixels[i];
    return 0;
}
