// Stores a GDI bitmap as an uncompressed BMP file.
#pragma once

#include <windows.h>

#include "resources/win/scoped.h"
#include "pictures/bitmap_layout.h"

#include <string>

// A bitmap's information header, colour table and pixel rows in one block from the page
// allocator, and the layout the block was made for.
struct PackedBitmap {
    ScopedVirtualMemory block;
    BitmapLayout layout;

    explicit operator bool() const { return block.valid(); }
    const BITMAPINFOHEADER* header() const {
        return static_cast<const BITMAPINFOHEADER*>(block.get());
    }
    const BYTE* pixels() const { return static_cast<const BYTE*>(block.get()) + layout.headerSize; }
};

// Empty when the bitmap can't be read, its size or bit count doesn't fit a BMP file, or
// there is no memory for the block. `bitmap` must be selected into no device context.
PackedBitmap packBitmap(HBITMAP bitmap, int bitCount);

// Writes the file header, the information header with its colour table and the pixel rows
// beside `path` and moves them over it once all are on disk. ERROR_SUCCESS, or the system's
// code for what failed; an existing file is then left as it was.
DWORD replaceWithPackedBitmap(const PackedBitmap& packed, const std::string& path);

// The message for a wallpaper that no file would take: the files tried with the system's
// reasons, one a line. No owner, the system's caption. `shownOnTop` brings it before every
// window (for a box shown after the saver's own are gone, while another program may have the
// foreground).
void reportWallpaperNotSaved(const std::string& filesAndReasons, bool shownOnTop = false);

// True when the whole file was written to `path`: created, or replaced once complete. A file
// that can't be written is reported with a message box; a bitmap that can't be packed
// leaves the file alone.
bool writeBitmapFile(HBITMAP bitmap, int bitCount, const char* path);
