#include "pictures/win/step1_read_file.h"

#include "pictures/step2_check_picture.h"

bool readPictureOnce(const char* path, PictureBytes& bytes) {
    if (isReservedDeviceName(path))
        return false;
    ScopedHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || GetFileType(file.get()) != FILE_TYPE_DISK)
        return false;
    LARGE_INTEGER fileSize{};
    if (!GetFileSizeEx(file.get(), &fileSize) || fileSize.QuadPart <= 0 ||
        fileSize.QuadPart > static_cast<LONGLONG>(maxPictureFileSize))
        return false;
    const DWORD expected = static_cast<DWORD>(fileSize.QuadPart);
    bytes.buffer.reset(VirtualAlloc(nullptr, expected, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    if (!bytes.buffer)
        return false;

    // The file may shrink while it is read: keep what was delivered and stop there.
    auto* at = static_cast<BYTE*>(bytes.buffer.get());
    bytes.size = 0;
    while (bytes.size < expected) {
        DWORD got = 0;
        if (!ReadFile(file.get(), at + bytes.size, expected - bytes.size, &got, nullptr) ||
            got == 0)
            break;
        bytes.size += got;
    }
    return bytes.size > 0;
}
