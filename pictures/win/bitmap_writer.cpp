#include "pictures/win/bitmap_writer.h"

#include <cstring>
#include <utility>

namespace {

constexpr char fileOpenFailedText[] = "IDS_FILE_OPEN_FAILED";

bool writeAll(HANDLE file, const void* data, DWORD size) {
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

} // namespace

PackedBitmap packBitmap(HBITMAP bitmap, int bitCount) {
    PackedBitmap packed;
    BITMAP description{};
    if (!bitmap || GetObjectA(bitmap, sizeof description, &description) != sizeof description)
        return packed;
    if (bitCount <= 0 || !computeBitmapLayout(description.bmWidth, description.bmHeight,
                                              static_cast<std::uint32_t>(bitCount), packed.layout))
        return packed;

    ScopedVirtualMemory block(
        VirtualAlloc(nullptr, packed.layout.packedSize(), MEM_COMMIT, PAGE_READWRITE));
    if (!block)
        return packed;

    const BitmapInfoHeaderBytes header = bitmapInfoHeader(packed.layout);
    std::memcpy(block.get(), header.data(), header.size());
    auto* info = static_cast<BITMAPINFO*>(block.get());
    BYTE* pixels = static_cast<BYTE*>(block.get()) + packed.layout.headerSize;

    ScopedMemoryDC dc(CreateCompatibleDC(nullptr));
    if (!dc)
        return packed;
    const int lines = GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(packed.layout.height),
                                pixels, info, DIB_RGB_COLORS);
    // Fewer lines than asked for would leave rows of the file blank yet report success.
    if (lines != packed.layout.height)
        return packed;

    // The system may rewrite the colours-used and size fields; the file must carry the
    // values its offsets were computed from. The colour table after the header stays.
    std::memcpy(block.get(), header.data(), header.size());
    packed.block = std::move(block);
    return packed;
}

bool writeBitmapFile(HBITMAP bitmap, int bitCount, const char* path) {
    // Packed first, so that a frame that can't be packed never empties an existing file.
    const PackedBitmap packed = packBitmap(bitmap, bitCount);
    if (!packed)
        return false;

    ScopedHandle file(CreateFileA(path ? path : "", GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        reportFileOpenFailed();
        return false;
    }
    return writePackedBitmap(packed, file.get());
}

bool writePackedBitmap(const PackedBitmap& packed, HANDLE file) {
    const BitmapFileHeaderBytes fileHeader = bitmapFileHeader(packed.layout);
    // A failed write skips the rest; the partial file stays as written.
    return writeAll(file, fileHeader.data(), bitmapFileHeaderSize) &&
           writeAll(file, packed.block.get(), packed.layout.headerSize) &&
           writeAll(file, packed.pixels(), packed.layout.imageSize);
}

void reportFileOpenFailed(bool shownOnTop) {
    MessageBoxA(nullptr, fileOpenFailedText, nullptr,
                MB_OK | (shownOnTop ? MB_TOPMOST | MB_SETFOREGROUND : 0));
}
