#include "pictures/win/bitmap_writer.h"

#include "resources/resource_ids.h"
#include "resources/win/file_failure.h"

#include <cstring>
#include <utility>

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
    // Packed first, so that a frame that can't be packed never touches an existing file.
    const PackedBitmap packed = packBitmap(bitmap, bitCount);
    if (!packed)
        return false;
    const std::string target = path ? path : "";
    const DWORD error = replaceWithPackedBitmap(packed, target);
    if (error != ERROR_SUCCESS)
        reportWallpaperNotSaved(fileAndReason(target, error));
    return error == ERROR_SUCCESS;
}

DWORD replaceWithPackedBitmap(const PackedBitmap& packed, const std::string& path) {
    const BitmapFileHeaderBytes fileHeader = bitmapFileHeader(packed.layout);
    return replaceFileContents(path, {{fileHeader.data(), bitmapFileHeaderSize},
                                      {packed.block.get(), packed.layout.headerSize},
                                      {packed.pixels(), packed.layout.imageSize}});
}

void reportWallpaperNotSaved(const std::string& filesAndReasons, bool shownOnTop) {
    const std::string text = resourceText(IDS_WALLPAPER_NOT_SAVED, {filesAndReasons});
    MessageBoxA(nullptr, text.c_str(), nullptr,
                MB_OK | MB_ICONEXCLAMATION | (shownOnTop ? MB_TOPMOST | MB_SETFOREGROUND : 0));
}
