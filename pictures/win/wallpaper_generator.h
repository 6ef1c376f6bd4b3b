// The last frame of the saver as the stretched desktop wallpaper.
#pragma once

#include <windows.h>

#include <string>

// The bitmap file in the Windows directory, "<windows>\Vellutor.bmp"; false when the
// directory can't be had or the path would not fit `size` characters.
bool wallpaperFilePath(char* path, size_t size);

// "<local application data>\Programs\Vellutor\Vellutor.bmp", the per-user folder that
// setup installs into, made if missing: a standard user may not write the Windows
// directory. False when it can't be had or would not fit.
bool userWallpaperFilePath(char* path, size_t size);

enum class WallpaperOutcome {
    Installed,
    NotInstalled,  // the frame could not be packed, or the system refused the file
    NoWritableFile // neither file could be written: the user is to be told
};

// Writes `frame` (selected into no device context) at 24 bits per pixel to the file in the
// Windows directory or, when that can't be written, to the per-user one, each beside the
// file and moved over it once complete, and installs the file written as the stretched
// wallpaper. Shows nothing; `failures` gets the files that could not be written with the
// system's reasons, one a line.
WallpaperOutcome writeWallpaper(HBITMAP frame, std::string& failures);

// writeWallpaper, telling the user at once when no file could be written. True when the
// file was written and installed.
bool generateWallpaper(HBITMAP frame);
