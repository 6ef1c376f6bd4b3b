#include "pictures/win/wallpaper_generator.h"

#include "pictures/win/bitmap_writer.h"
#include "pictures/win/desktop_wallpaper.h"

#include <cstdio>

namespace {

constexpr char wallpaperFileName[] = "Vellutor.bmp";
constexpr int wallpaperBitCount = 24;

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

bool generateWallpaper(HBITMAP frame) {
    char wallpaperFile[MAX_PATH];
    if (!wallpaperFilePath(wallpaperFile, sizeof wallpaperFile))
        return false;
    if (!writeBitmapFile(frame, wallpaperBitCount, wallpaperFile))
        return false;
    return desktopWallpaper.install(wallpaperFile, WallpaperMode::Stretch);
}
