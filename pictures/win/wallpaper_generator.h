// The last frame of the saver as the stretched desktop wallpaper.
#pragma once

#include <windows.h>

// The bitmap file in the Windows directory, "<windows>\Vellutor.bmp"; false when the
// directory can't be had or the path would not fit `size` characters.
bool wallpaperFilePath(char* path, size_t size);

// "<local application data>\Programs\Vellutor\Vellutor.bmp", the per-user folder that
// setup installs into, made if missing: a standard user may not write the Windows
// directory. False when it can't be had or would not fit.
bool userWallpaperFilePath(char* path, size_t size);

enum class WallpaperOutcome {
    Installed,
    NotInstalled,  // the frame could not be packed or written, or the system refused it
    NoWritableFile // neither file could be opened: the user is to be told
};

// Writes `frame` (selected into no device context) at 24 bits per pixel to the file in the
// Windows directory or, when that can't be opened for writing, to the per-user one, and
// installs the file written as the stretched wallpaper. Shows nothing.
WallpaperOutcome writeWallpaper(HBITMAP frame);

// writeWallpaper, telling the user at once when no file could be opened. True when the
// file was written and installed.
bool generateWallpaper(HBITMAP frame);
