// Feeds arbitrary bytes to the EMF check. What it accepts, an independent walk of its
// records must find each inside the metafile, ending with the end record, and every object
// index of the common records inside the handle table or a stock object.
#include "pictures/step2_check_picture.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstdint>
#include <cstdlib>

namespace {

std::uint32_t word(const std::uint8_t* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const PictureCheck check = checkPicture(FormatEmf, data, size);
    if (!check.valid)
        return 0;
    require(check.metafileBytes <= size && check.metafileBytes >= 88);
    const std::uint32_t handles = data[56] | data[57] << 8;
    require(handles >= 1 && handles <= maxMetafileHandles);
    std::size_t at = 0;
    for (;;) {
        require(at + 8 <= check.metafileBytes);
        const std::uint32_t type = word(data + at), length = word(data + at + 4);
        require(length >= 8 && length <= check.metafileBytes - at);
        if (type == 14)
            break;
        // Select, delete: one object index at 8. Create pen, brush: a new one.
        if (at != 0 && (type == 37 || type == 40)) {
            const std::uint32_t index = word(data + at + 8);
            require((index & 0x80000000u) ? (index & 0x7FFFFFFFu) <= 19 : index < handles);
        }
        if (type == 38 || type == 39)
            require(word(data + at + 8) >= 1 && word(data + at + 8) < handles);
        // Points of the 32-bit poly records.
        if (type >= 2 && type <= 6) {
            const std::uint64_t points = word(data + at + 24);
            require(28 + points * 8 <= length);
        }
        at += length;
    }
    return 0;
}
