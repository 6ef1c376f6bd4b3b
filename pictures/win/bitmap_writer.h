// Stores a GDI bitmap as an uncompressed BMP file.
#pragma once

#include <windows.h>

#include "resources/win/scoped.h"
#include "pictures/bitmap_layout.h"

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

// True when the file header, the information header with its colour table and the pixel
// rows were all written to `file`, an open file at its start.
bool writePackedBitmap(const PackedBitmap& packed, HANDLE file);

// The message for a bitmap file that cannot be opened: no owner, the system's caption.
// `shownOnTop` brings it before every window (for a box shown after the saver's own are
// gone, while another program may have the foreground).
void reportFileOpenFailed(bool shownOnTop = false);

// True when the file header, the information header with its colour table and the pixel
// rows were all written to `path` (created, or emptied if it exists). A file that can't be
// opened is reported with a message box; a bitmap that can't be packed leaves the file alone.
bool writeBitmapFile(HBITMAP bitmap, int bitCount, const char* path);
