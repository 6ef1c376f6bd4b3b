#include "pictures/win/wallpaper_generator.h"

#include "pictures/win/bitmap_writer.h"
#include "pictures/win/desktop_wallpaper.h"
#include "resources/win/file_failure.h"

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

// Writes the frame to the file `where` names; a failure adds its line to `failures`.
bool writeInto(bool (*where)(char*, size_t), const PackedBitmap& packed, char* path,
               std::string& failures) {
    if (!where(path, MAX_PATH))
        return false;
    const DWORD error = replaceWithPackedBitmap(packed, path);
    if (error == ERROR_SUCCESS)
        return true;
    failures += fileAndReason(path, error) + "\n";
    return false;
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

WallpaperOutcome writeWallpaper(HBITMAP frame, std::string& failures) {
    // Packed first, so that a frame that can't be packed never touches an existing file.
    const PackedBitmap packed = packBitmap(frame, wallpaperBitCount);
    if (!packed)
        return WallpaperOutcome::NotInstalled;
    char path[MAX_PATH];
    if (!writeInto(wallpaperFilePath, packed, path, failures) &&
        !writeInto(userWallpaperFilePath, packed, path, failures))
        return WallpaperOutcome::NoWritableFile;
    // The settings it replaces are saved only for a restore, which the saver never asks for.
    DesktopWallpaper desktop;
    return desktop.install(path, WallpaperMode::Stretch) ? WallpaperOutcome::Installed
                                                         : WallpaperOutcome::NotInstalled;
}

bool generateWallpaper(HBITMAP frame) {
    std::string failures;
    const WallpaperOutcome outcome = writeWallpaper(frame, failures);
    if (outcome == WallpaperOutcome::NoWritableFile)
        reportWallpaperNotSaved(failures);
    return outcome == WallpaperOutcome::Installed;
}
