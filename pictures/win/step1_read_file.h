// The first step of a picture's road: the file's bytes, read once. Every check and decoder
// sees these bytes and no others, so a file rewritten meanwhile cannot slip past the checks.
#pragma once

#include <windows.h>

#include "resources/win/scoped.h"

// Files above this size are refused before any buffer is allocated.
constexpr DWORD maxPictureFileSize = 256u * 1024u * 1024u;

struct PictureBytes {
    ScopedVirtualMemory buffer;
    DWORD size = 0;
    const unsigned char* data() const { return static_cast<const unsigned char*>(buffer.get()); }
};

// False for a file that is missing, no plain disk file (a device such as con.jpg, a
// folder), empty or too large. `size` is the number of bytes actually delivered.
bool readPictureOnce(const char* path, PictureBytes& bytes);
