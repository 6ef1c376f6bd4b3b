#include "pictures/win/desktop_wallpaper.h"

#include "resources/win/scoped.h"

#include <string>
#include <utility>

namespace {

constexpr char desktopKey[] = "Control Panel\\Desktop";
constexpr char wallpaperValue[] = "Wallpaper";
constexpr char tileValue[] = "TileWallpaper";
constexpr char styleValue[] = "WallpaperStyle";
constexpr char zeroText[] = "0";
// Each setting is one character and its terminating zero.
constexpr DWORD settingTextSize = 2;

struct ModeTexts {
    const char* tile;
    const char* style;
};

// Indexed by WallpaperMode, Center to None; Restore writes the saved texts instead.
constexpr ModeTexts modeTexts[] = {
    {zeroText, zeroText}, // Center
    {"1", zeroText},      // Tile
    {zeroText, "2"},      // Stretch
    {zeroText, zeroText}, // None
};

ScopedRegKey openDesktopKey() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, desktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return ScopedRegKey();
    return ScopedRegKey(key);
}

bool readValue(HKEY key, const char* name, SavedRegistryValue& saved) {
    DWORD type = REG_NONE;
    DWORD size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    if (status == ERROR_FILE_NOT_FOUND) {
        saved = SavedRegistryValue();
        return true;
    }
    if (status != ERROR_SUCCESS)
        return false;
    std::vector<char> data(size);
    status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size);
    if (status != ERROR_SUCCESS)
        return false;
    data.resize(size);
    saved.present = true;
    saved.type = type;
    saved.data = std::move(data);
    return true;
}

bool writeText(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          settingTextSize) == ERROR_SUCCESS;
}

bool writeSaved(HKEY key, const char* name, const SavedRegistryValue& saved) {
    if (!saved.present) {
        const LONG status = RegDeleteValueA(key, name);
        return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
    }
    return RegSetValueExA(key, name, 0, saved.type,
                          reinterpret_cast<const BYTE*>(saved.data.data()),
                          static_cast<DWORD>(saved.data.size())) == ERROR_SUCCESS;
}

// Registry strings need not end in a zero; the path stops at the first one or at the end.
std::string savedText(const SavedRegistryValue& saved) {
    if (!saved.present)
        return std::string();
    std::string text(saved.data.begin(), saved.data.end());
    return text.substr(0, text.find('\0'));
}

} // namespace

bool DesktopWallpaper::install(const char* path, WallpaperMode mode) {
    const auto index = static_cast<std::uint32_t>(mode);
    if (index > static_cast<std::uint32_t>(WallpaperMode::Restore))
        return false;
    const bool noPath = path == nullptr || path[0] == '\0';
    if (noPath && mode != WallpaperMode::None && mode != WallpaperMode::Restore)
        return false;
    if (mode == WallpaperMode::Restore)
        return restorePrevious();
    if (mode == WallpaperMode::Stretch && !supportsWallpaperStyle())
        return false;

    const ModeTexts& texts = modeTexts[index];
    if (!saveCurrent())
        return false;
    return setThenStyle(mode == WallpaperMode::None ? "" : path, texts.tile, texts.style);
}

// The style values change only once the system took the wallpaper, so that a refusal never
// restyles the old one; the second call has the desktop show it in its style.
bool DesktopWallpaper::setThenStyle(const char* path, const char* tileText, const char* styleText) {
    if (!setDeskWallpaper(path, SPIF_UPDATEINIFILE))
        return false;
    if (tileText ? !writeStyle(tileText, styleText) : !writeSavedStyle())
        return false;
    return applyWallpaper(path) != FALSE;
}

BOOL DesktopWallpaper::setDeskWallpaper(const char* path, UINT flags) {
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(path ? path : ""),
                                 flags);
}

bool DesktopWallpaper::saveCurrent() {
    ScopedRegKey key = openDesktopKey();
    if (!key)
        return false;
    // Read into fresh buffers so a failure part way leaves the earlier save whole.
    SavedRegistryValue wallpaper;
    SavedRegistryValue tile;
    SavedRegistryValue style;
    if (!readValue(key.get(), wallpaperValue, wallpaper) || !readValue(key.get(), tileValue, tile))
        return false;
    if (supportsWallpaperStyle() && !readValue(key.get(), styleValue, style))
        return false;
    savedWallpaper_ = std::move(wallpaper);
    savedTile_ = std::move(tile);
    savedStyle_ = std::move(style);
    hasSaved_ = 1;
    return true;
}

bool DesktopWallpaper::writeStyle(const char* tileText, const char* styleText) {
    if (!tileText || !styleText)
        return false;
    ScopedRegKey key = openDesktopKey();
    if (!key || !writeText(key.get(), tileValue, tileText))
        return false;
    if (supportsWallpaperStyle() && !writeText(key.get(), styleValue, styleText))
        return false;
    return true;
}

BOOL DesktopWallpaper::applyWallpaper(const char* path) {
    return setDeskWallpaper(path, SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE);
}

bool DesktopWallpaper::writeSavedStyle() {
    ScopedRegKey key = openDesktopKey();
    if (!key || !writeSaved(key.get(), tileValue, savedTile_))
        return false;
    if (supportsWallpaperStyle() && !writeSaved(key.get(), styleValue, savedStyle_))
        return false;
    return true;
}

bool DesktopWallpaper::restorePrevious() {
    if (!hasSaved_)
        return false;
    // An absent "Wallpaper" meant no wallpaper; the system is told so and writes it back.
    if (!setThenStyle(savedText(savedWallpaper_).c_str(), nullptr, nullptr))
        return false;
    savedWallpaper_ = SavedRegistryValue();
    savedTile_ = SavedRegistryValue();
    savedStyle_ = SavedRegistryValue();
    hasSaved_ = 0;
    return true;
}

bool DesktopWallpaper::supportsWallpaperStyle() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version))
        return true;
    if (version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS)
        return !(version.dwMajorVersion == 4 && version.dwMinorVersion == 0);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT)
        return version.dwMajorVersion != 3 && version.dwMajorVersion != 4;
    return true;
}
