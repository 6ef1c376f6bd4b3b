#include "engine/win/renderer_canvas.h"

#include "engine/folder_path.h"

namespace {

constexpr const char* scanPattern = "*.*";

} // namespace

bool ImagesFolderListing::open() {
    scan_.reset();
    scanned_ = fullFolder_(folder_);
    if (scanned_.empty())
        return false;
    scan_.reset(FindFirstFileA(pathInFolder(scanned_, scanPattern).c_str(), &entry_));
    return static_cast<bool>(scan_);
}

std::string ImagesFolderListing::pathOf(const char* fileName) const {
    std::string joined = pathInFolder(scanned_, fileName);
    char full[MAX_PATH];
    DWORD length = GetFullPathNameA(joined.c_str(), sizeof(full), full, nullptr);
    return length > 0 && length < sizeof(full) ? std::string(full, length) : joined;
}

bool DetachedListing::open() {
    control_.detach();
    const bool opened = inner_.open();
    return control_.attach() && opened;
}

bool DetachedListing::advance() {
    control_.detach();
    const bool advanced = inner_.advance();
    return control_.attach() && advanced;
}
