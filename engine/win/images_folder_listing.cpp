#include "engine/win/images_folder_listing.h"

#include "engine/folder_path.h"
#include "engine/win/render_control.h"

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
    renderDetach();
    const bool opened = inner_.open();
    return renderAttach() && opened;
}

bool DetachedListing::advance() {
    renderDetach();
    const bool advanced = inner_.advance();
    return renderAttach() && advanced;
}
