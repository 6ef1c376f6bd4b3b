#include "pictures/win/wallpaper_generator.h"

#include "pictures/win/bitmap_writer.h"
#include "pictures/win/desktop_wallpaper.h"

#include <shlobj.h>

#include <cstdio>

namespace {

constexpr char wallpaperFileName[] = "Vellutor.bmp";
constexpr char userFolderParent[] = "Programs";
constexpr char userFolderName[] = "Vellutor";
constexpr int wallpaperBitCount = 24;

// The folder exists afterwards, made now or before.
bool ensureFolder(const char* path) {
    return CreateDirectoryA(path, nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

ScopedHandle openForWriting(const char* path) {
    return ScopedHandle(CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

} // namespace

bool wallpaperFilePath(char* path, size_t size) {
    char windowsDir[MAX_PATH];
    const UINT length = GetWindowsDirectoryA(windowsDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    // A cut path would name some other file.
    const int formed = std::snprintf(path, size, "%s\\%s", windowsDir, wallpaperFileName);
    return formed > 0 && static_cast<size_t>(formed) < size;
}

bool userWallpaperFilePath(char* path, size_t size) {
    char base[MAX_PATH] = "";
    if (FAILED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                SHGFP_TYPE_CURRENT, base)))
        return false;
    char parent[MAX_PATH];
    char folder[MAX_PATH];
    const int parentLength = std::snprintf(parent, sizeof parent, "%s\\%s", base, userFolderParent);
    const int folderLength = std::snprintf(folder, sizeof folder, "%s\\%s", parent, userFolderName);
    if (parentLength <= 0 || folderLength <= 0 ||
        static_cast<size_t>(folderLength) >= sizeof folder)
        return false;
    if (!ensureFolder(parent) || !ensureFolder(folder))
        return false;
    const int formed = std::snprintf(path, size, "%s\\%s", folder, wallpaperFileName);
    return formed > 0 && static_cast<size_t>(formed) < size;
}

WallpaperOutcome writeWallpaper(HBITMAP frame) {
    // Packed first, so that a frame that can't be packed never empties an existing file.
    const PackedBitmap packed = packBitmap(frame, wallpaperBitCount);
    if (!packed)
        return WallpaperOutcome::NotInstalled;
    char path[MAX_PATH];
    ScopedHandle file;
    if (wallpaperFilePath(path, sizeof path))
        file = openForWriting(path);
    if (!file && userWallpaperFilePath(path, sizeof path))
        file = openForWriting(path);
    if (!file)
        return WallpaperOutcome::NoWritableFile;
    const bool written = writePackedBitmap(packed, file.get());
    file.reset(); // closed before the system reads it
    if (!written)
        return WallpaperOutcome::NotInstalled;
    // The settings it replaces are saved only for a restore, which the saver never asks for.
    DesktopWallpaper desktop;
    return desktop.install(path, WallpaperMode::Stretch) ? WallpaperOutcome::Installed
                                                         : WallpaperOutcome::NotInstalled;
}

bool generateWallpaper(HBITMAP frame) {
    const WallpaperOutcome outcome = writeWallpaper(frame);
    if (outcome == WallpaperOutcome::NoWritableFile)
        reportFileOpenFailed();
    return outcome == WallpaperOutcome::Installed;
}
