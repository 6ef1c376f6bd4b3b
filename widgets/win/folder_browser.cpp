#include "widgets/win/folder_browser.h"

#include "resources/win/scoped.h"

#include <ole2.h>

#include <cstring>
#include <vector>

namespace {

constexpr const char* browseTitle = "select folder with images";

// The item identifier from the browser, given back to the shell once.
class BrowsedItem {
  public:
    explicit BrowsedItem(LPITEMIDLIST item) : item_(item) {}
    ~BrowsedItem() {
        if (item_)
            freeShellItem(item_);
    }
    BrowsedItem(const BrowsedItem&) = delete;
    BrowsedItem& operator=(const BrowsedItem&) = delete;
    LPITEMIDLIST get() const { return item_; }

  private:
    LPITEMIDLIST item_;
};

} // namespace

unsigned browseForFolder(HWND owner, char* path) {
    // The shell's dialog needs a single-threaded apartment on this thread.
    ScopedComApartment apartment(ScopedComApartment::Ole);
    std::vector<char> work(folderPathCapacity, '\0');
    BROWSEINFOA info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = work.data();
    info.lpszTitle = browseTitle;
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    info.iImage = 0;
    BrowsedItem item(SHBrowseForFolderA(&info));
    if (!item.get())
        return 0;
    // The work buffer holds the folder's display name until here; a failed conversion would
    // hand that name on as if it were a path, so it counts as no folder chosen.
    if (!SHGetPathFromIDListA(item.get(), work.data()) || work[0] == '\0')
        return 0;
    work.back() = '\0';
    const std::size_t copied = std::strlen(work.data()) + 1;
    std::memcpy(path, work.data(), copied);
    return static_cast<unsigned>(copied);
}

void freeShellItem(LPITEMIDLIST item) {
    ComPtr<IMalloc> allocator;
    if (FAILED(SHGetMalloc(allocator.out())) || !allocator)
        return;
    allocator->Free(item);
}
