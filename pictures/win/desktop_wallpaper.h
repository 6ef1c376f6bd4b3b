// Installs a picture file as the desktop wallpaper and puts back the settings it replaced.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

enum class WallpaperMode : std::uint32_t {
    Center = 0,
    Tile = 1,
    Stretch = 2,
    None = 3,
    Restore = 4
};

// One registry value as it was read: its type and data, or absent.
struct SavedRegistryValue {
    bool present = false;
    DWORD type = REG_NONE;
    std::vector<char> data; // as the registry reported it, terminating zero included
};

class DesktopWallpaper {
  public:
    DesktopWallpaper() = default;
    virtual ~DesktopWallpaper() = default;
    DesktopWallpaper(const DesktopWallpaper&) = delete;
    DesktopWallpaper& operator=(const DesktopWallpaper&) = delete;

    // Saves the current settings, gives the system `path` and, once it took it, writes the
    // style of `mode` (None: no wallpaper; Restore: the saved settings, `path` unused). False, with
    // nothing touched, for an unknown mode, an empty path, or Stretch where the system lacks it.
    bool install(const char* path, WallpaperMode mode);
    // Reads "Wallpaper", "TileWallpaper" and, where supported, "WallpaperStyle". A value
    // that does not exist is saved as absent. On failure the earlier save is kept.
    bool saveCurrent();
    // Writes "TileWallpaper" and, where supported, "WallpaperStyle" as one-character texts.
    bool writeStyle(const char* tileText, const char* styleText);
    // The system's own result: it stores the path in "Wallpaper" and tells running programs.
    BOOL applyWallpaper(const char* path);
    // Writes the saved values back as they were read and gives the system the saved path;
    // a value that was absent is deleted again. False when nothing is saved.
    bool restorePrevious();
    // Windows 95 and NT 3.x/4.x have no "WallpaperStyle" and so no stretched wallpaper.
    static bool supportsWallpaperStyle();

    bool hasSaved() const { return hasSaved_ != 0; }

  private:
    // Gives the system `path`, then writes the style texts (the saved ones when `tileText` is
    // null) and gives it `path` again.
    bool setThenStyle(const char* path, const char* tileText, const char* styleText);
    static BOOL setDeskWallpaper(const char* path, UINT flags);
    bool writeSavedStyle();

    std::uint32_t hasSaved_ = 0;
    SavedRegistryValue savedTile_;
    SavedRegistryValue savedWallpaper_;
    SavedRegistryValue savedStyle_;
};
