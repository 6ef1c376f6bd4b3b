// Probe for the wallpaper generator: runs the bitmap writer and the desktop wallpaper
// in-process under Wine. Usage: probe_wallpaper <command> [arguments] [<command> ...].
// Commands run in order in one process, so that what one install saved is there for the
// next; each prints one line "<command> <result>".
//   install <path|""> <mode>    DesktopWallpaper::install, mode 0..4 (or beyond)
//   restore                     DesktopWallpaper::restorePrevious
//   state                       the three desktop values, "<absent>" when missing
//   write <w> <h> <bits> <path> writes a test pattern bitmap of w x h
//   write-nomem <path>          a frame too large for any block
//   write-invalid <path>        a handle that is no bitmap
//   generate <w> <h>            generateWallpaper on a test pattern; prints the path too
//   path                        the wallpaper file's path
//   userpath                    the per-user wallpaper file's path
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "resources/win/scoped.h"
#include "pictures/win/bitmap_writer.h"
#include "pictures/win/desktop_wallpaper.h"
#include "pictures/win/wallpaper_generator.h"

namespace {

constexpr int usageError = 2;

void say(const char* name, const std::string& value) {
    std::printf("%s %s\n", name, value.c_str());
    std::fflush(stdout);
}

void sayResult(const char* name, bool result) {
    say(name, result ? "1" : "0");
}

// The test pattern: every pixel differs from its neighbours in every channel, so a row or
// channel out of place shows. Mirrored in test_wallpaper.py.
COLORREF patternPixel(int x, int y) {
    return RGB((x * 7 + y * 3) & 0xFF, (x * 5 + y * 11) & 0xFF, (x ^ y) & 0xFF);
}

// A device-dependent bitmap compatible with the screen, like the captured frame.
ScopedBitmap makePattern(int width, int height) {
    ScopedWindowDC screen(nullptr);
    ScopedBitmap bitmap(CreateCompatibleBitmap(screen.get(), width, height));
    if (!bitmap)
        return bitmap;
    std::vector<DWORD> pixels(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const COLORREF c = patternPixel(x, y);
            pixels[static_cast<size_t>(y) * width + x] =
                (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
        }
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top row first, as the pattern is indexed
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    if (SetDIBits(screen.get(), bitmap.get(), 0, height, pixels.data(), &info, DIB_RGB_COLORS) !=
        height)
        bitmap.reset();
    return bitmap;
}

std::string registryText(const char* name) {
    HKEY raw = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, KEY_READ, &raw) !=
        ERROR_SUCCESS)
        return "<absent>";
    ScopedRegKey key(raw);
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size) !=
        ERROR_SUCCESS)
        return "<absent>";
    // Type and size too: the settings are REG_SZ of exactly two bytes.
    return std::to_string(type) + " " + std::to_string(size) + " " + data;
}

struct Cursor {
    int argc;
    char** argv;
    int next;
    bool has(int count) const { return next + count <= argc; }
    const char* take() { return argv[next++]; }
    int takeInt() { return std::atoi(take()); }
};

bool runCommand(const std::string& command, Cursor& in, DesktopWallpaper& desktopWallpaper) {
    if (command == "install" && in.has(2)) {
        const char* path = in.take();
        const auto mode = static_cast<WallpaperMode>(in.takeInt());
        sayResult("install", desktopWallpaper.install(path, mode));
    } else if (command == "restore") {
        sayResult("restore", desktopWallpaper.restorePrevious());
    } else if (command == "state") {
        for (const char* name : {"Wallpaper", "TileWallpaper", "WallpaperStyle"})
            say(name, registryText(name));
    } else if (command == "write" && in.has(4)) {
        const int width = in.takeInt();
        const int height = in.takeInt();
        const int bits = in.takeInt();
        const char* path = in.take();
        ScopedBitmap bitmap = makePattern(width, height);
        if (!bitmap) {
            say("error", "no pattern bitmap");
            return false;
        }
        sayResult("write", writeBitmapFile(bitmap.get(), bits, path));
    } else if (command == "write-nomem" && in.has(1)) {
        // 30000 x 30000 at 32 bits needs a 3.6 GB block: more than a 32-bit process has.
        ScopedBitmap bitmap(CreateBitmap(30000, 30000, 1, 1, nullptr));
        if (!bitmap) {
            say("error", "no large bitmap");
            return false;
        }
        sayResult("write-nomem", writeBitmapFile(bitmap.get(), 32, in.take()));
    } else if (command == "write-invalid" && in.has(1)) {
        sayResult("write-invalid",
                  writeBitmapFile(reinterpret_cast<HBITMAP>(0x1234), 24, in.take()));
    } else if (command == "generate" && in.has(2)) {
        const int width = in.takeInt();
        const int height = in.takeInt();
        ScopedBitmap bitmap = makePattern(width, height);
        sayResult("generate", bitmap && generateWallpaper(bitmap.get()));
    } else if (command == "userpath") {
        char path[MAX_PATH];
        say("userpath", userWallpaperFilePath(path, sizeof path) ? path : "<none>");
    } else if (command == "path") {
        char path[MAX_PATH];
        say("path", wallpaperFilePath(path, sizeof path) ? path : "<none>");
    } else {
        say("error", "usage: " + command);
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Cursor in{argc, argv, 1};
    if (argc < 2) {
        say("error", "usage: probe_wallpaper <command> ...");
        return usageError;
    }
    // One for the whole run, so that a restore puts back what an earlier install saved.
    DesktopWallpaper desktopWallpaper;
    while (in.has(1)) {
        const std::string command = in.take();
        if (!runCommand(command, in, desktopWallpaper))
            return usageError;
    }
    return 0;
}
