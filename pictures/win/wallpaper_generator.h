// The last frame of the saver as the stretched desktop wallpaper.
#pragma once

#include <windows.h>

// The bitmap file in the Windows directory, "<windows>\Vellutor.bmp"; false when the
// directory can't be had or the path would not fit `size` characters.
bool wallpaperFilePath(char* path, size_t size);

// Writes `frame` (selected into no device context) to the wallpaper file at 24 bits per
// pixel and installs it stretched. True when the file was written and installed.
bool generateWallpaper(HBITMAP frame);
