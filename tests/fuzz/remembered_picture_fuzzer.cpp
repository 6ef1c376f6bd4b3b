// Feeds arbitrary bytes to the "vellutor.fsl" reader: the name must always fit the 256-byte
// buffer with its NUL and be a prefix of the file's bytes.
#include "settings/settings_record.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string name = parseRememberedPicture(data, size);
    if (name.size() > lastPictureNameSize - 1 || name.find('\0') != std::string::npos)
        std::abort();
    if (size < rememberedPictureMinSize && !name.empty())
        std::abort();
    if (std::memcmp(name.data(), data, name.size()) != 0)
        std::abort();
    // A name shorter than the file stops at a NUL or at the buffer's end.
    if (name.size() < size && name.size() < lastPictureNameSize - 1 && !name.empty() &&
        data[name.size()] != '\0')
        std::abort();
    return 0;
}
