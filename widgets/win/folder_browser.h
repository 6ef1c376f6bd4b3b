// The shell's folder-selection dialog, for choosing the images folder.
#pragma once

#include <windows.h>

#include <shlobj.h>

// Capacity that callers give browseForFolder.
constexpr unsigned folderPathCapacity = MAX_PATH;

// Shows the dialog owned by `owner`. Returns 0 when nothing was chosen (then `path` is left
// alone), otherwise the chosen folder's length plus one: the bytes written to `path`, which
// holds at least folderPathCapacity bytes. Initialises COM on the calling thread for the
// time of the dialog, as the shell requires.
unsigned browseForFolder(HWND owner, char* path);
// Gives a shell item identifier back to the shell's allocator.
void freeShellItem(LPITEMIDLIST item);
