// Feeds arbitrary bytes to the "vellutor.skp" reader: the list stays within its budget, every
// name fits its room with a NUL, and what is written back reads back the same.
#include "engine/skipped_pictures.h"
#include "tests/fuzz/fuzz_require.h"

#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const SkippedPictures list = parseSkippedPictures(data, size);
    require(list.count() <= skippedPicturesMax);
    for (std::size_t i = 0; i < list.count(); ++i)
        require(list[i].name[0] != '\0' && std::memchr(list[i].name, '\0', skippedNameSize));
    static std::uint8_t file[skippedPicturesFileMax];
    const std::size_t written = serializeSkippedPictures(list, file);
    require(written <= skippedPicturesFileMax);
    const SkippedPictures back = parseSkippedPictures(file, written);
    require(back.count() == list.count());
    for (std::size_t i = 0; i < list.count(); ++i)
        require(back.skips(list[i].name, list[i].stamp));
    return 0;
}
