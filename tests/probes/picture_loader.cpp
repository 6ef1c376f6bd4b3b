// Loads one picture onto an off-screen DirectDraw surface and prints what landed where.
//
//   probe_picture_loader.exe [options] WIDTH HEIGHT PATH
//     --cut            cut of background set
//     --fill RRGGBB    paint the surface this colour first
//     --at X,Y         print the pixel at X,Y (repeatable)
//     --grid N         print the pixels at the centres of an N x N grid
//     --dump FILE      write the whole surface as a binary PPM
//     --repeat N       load N times (for leak checks), printing the last result
//     --null-surface   call the loader without a surface
//     --system-bmp     load a BMP the way the system's file loader does (LoadImageA scaled
//                      to the surface), for comparing the loader's own BMP decoding with it
//     --system-jpeg    decode a JPEG whole through the system picture object and fit it, for
//                      comparing the decoding to scale with it
//
// Output lines: "result DEC HEX", "surface W H BPP", "at X Y R G B", and around the loads
// "gdi BEFORE AFTER", "handles BEFORE AFTER", "memory BEFORE_KB AFTER_KB" (virtual in use).
// Exit code 0 when the loader was called, 2 when DirectDraw could not be set up, 3 for usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/picture_endings.h"
#include "pictures/win/picture_loader.h"
#include "tests/probes/probe_display.h"

namespace {

struct Options {
    bool cut = false;
    bool fill = false;
    COLORREF fillColour = 0;
    std::vector<std::pair<int, int>> points;
    int grid = 0;
    const char* dumpPath = nullptr;
    int repeat = 1;
    bool nullSurface = false;
    bool systemBmp = false;
    bool systemJpeg = false;
    int width = 0;
    int height = 0;
    const char* path = nullptr;
};

struct Rgb {
    int r, g, b;
};

bool parse(int argc, char** argv, Options& o) {
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--cut") {
            o.cut = true;
        } else if (arg == "--system-bmp") {
            o.systemBmp = true;
        } else if (arg == "--system-jpeg") {
            o.systemJpeg = true;
        } else if (arg == "--null-surface") {
            o.nullSurface = true;
        } else if (arg == "--fill" && hasValue) {
            const unsigned long rgb = std::strtoul(argv[++i], nullptr, 16);
            o.fill = true;
            o.fillColour = RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        } else if (arg == "--at" && hasValue) {
            int x = 0, y = 0;
            if (std::sscanf(argv[++i], "%d,%d", &x, &y) != 2)
                return false;
            o.points.emplace_back(x, y);
        } else if (arg == "--grid" && hasValue) {
            o.grid = std::atoi(argv[++i]);
        } else if (arg == "--dump" && hasValue) {
            o.dumpPath = argv[++i];
        } else if (arg == "--repeat" && hasValue) {
            o.repeat = std::atoi(argv[++i]);
        } else if (positional == 0) {
            o.width = std::atoi(argv[i]);
            ++positional;
        } else if (positional == 1) {
            o.height = std::atoi(argv[i]);
            ++positional;
        } else if (positional == 2) {
            o.path = argv[i];
            ++positional;
        } else {
            return false;
        }
    }
    return positional == 3 && o.width > 0 && o.height > 0 && o.repeat > 0;
}

int lowestBit(DWORD mask) {
    int shift = 0;
    while (mask && !(mask & 1)) {
        mask >>= 1;
        ++shift;
    }
    return shift;
}

// Scales a channel read through its mask to 0..255.
int channel(DWORD pixel, DWORD mask) {
    if (!mask)
        return 0;
    const DWORD value = (pixel & mask) >> lowestBit(mask);
    const DWORD maximum = mask >> lowestBit(mask);
    return static_cast<int>((value * 255 + maximum / 2) / maximum);
}

// Reads every pixel of the surface as RGB through its pixel format.
bool readSurface(IDirectDrawSurface3* surface, int& width, int& height, int& bpp,
                 std::vector<Rgb>& pixels) {
    DDSURFACEDESC desc{};
    desc.dwSize = sizeof(desc);
    if (FAILED(surface->Lock(nullptr, &desc, DDLOCK_WAIT | DDLOCK_READONLY, nullptr)))
        return false;
    width = static_cast<int>(desc.dwWidth);
    height = static_cast<int>(desc.dwHeight);
    bpp = static_cast<int>(desc.ddpfPixelFormat.dwRGBBitCount);
    const int bytesPerPixel = bpp / 8;
    const DDPIXELFORMAT& format = desc.ddpfPixelFormat;
    pixels.assign(static_cast<size_t>(width) * height, Rgb{0, 0, 0});
    if (bytesPerPixel >= 2) {
        for (int y = 0; y < height; ++y) {
            const auto* row = static_cast<const BYTE*>(desc.lpSurface) + y * desc.lPitch;
            for (int x = 0; x < width; ++x) {
                DWORD pixel = 0;
                std::memcpy(&pixel, row + x * bytesPerPixel, bytesPerPixel);
                pixels[static_cast<size_t>(y) * width + x] = {channel(pixel, format.dwRBitMask),
                                                              channel(pixel, format.dwGBitMask),
                                                              channel(pixel, format.dwBBitMask)};
            }
        }
    }
    surface->Unlock(desc.lpSurface);
    return true;
}

void fillSurface(IDirectDrawSurface3* surface, int width, int height, COLORREF colour) {
    ScopedSurfaceDC dc(surface);
    Scoped<GdiObjectTraits<HBRUSH>> brush(CreateSolidBrush(colour));
    if (dc && brush) {
        const RECT whole{0, 0, width, height};
        FillRect(dc.get(), &whole, brush.get());
    }
}

void printPixel(const std::vector<Rgb>& pixels, int width, int height, int x, int y) {
    if (x < 0 || y < 0 || x >= width || y >= height) {
        std::printf("at %d %d outside\n", x, y);
        return;
    }
    const Rgb& p = pixels[static_cast<size_t>(y) * width + x];
    std::printf("at %d %d %d %d %d\n", x, y, p.r, p.g, p.b);
}

void dump(const char* path, const std::vector<Rgb>& pixels, int width, int height) {
    FILE* out = std::fopen(path, "wb");
    if (!out)
        return;
    std::fprintf(out, "P6\n%d %d\n255\n", width, height);
    for (const Rgb& p : pixels) {
        const unsigned char rgb[3] = {static_cast<unsigned char>(p.r),
                                      static_cast<unsigned char>(p.g),
                                      static_cast<unsigned char>(p.b)};
        std::fwrite(rgb, 1, 3, out);
    }
    std::fclose(out);
}

// The format as the folder walk decides it from the name; a name it refuses is never loaded.
long loadAsTheWalkWould(IDirectDrawSurface3* surface, const char* path, bool cut) {
    const std::optional<PictureFormat> format = pictureFormatOf(path);
    return format ? loadPictureToSurface(surface, path, *format, cut) : -1;
}

// The reference: the system's loader reads the file by name and scales it to the surface.
long loadWithSystem(IDirectDrawSurface3* surface, const Options& o) {
    ScopedBitmap bitmap(static_cast<HBITMAP>(LoadImageA(
        nullptr, o.path, IMAGE_BITMAP, o.width, o.height, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    if (!bitmap)
        return -1;
    return fitBitmapToSurface(surface, bitmap.get(), 0, 0, 0, 0, o.cut);
}

long loadWithSystemJpeg(IDirectDrawSurface3* surface, const Options& o) {
    ComPtr<IPicture> owner;
    const HBITMAP bitmap = loadOlePicture(owner, o.path, FormatJpeg);
    return bitmap ? fitBitmapToSurface(surface, bitmap, 0, 0, 0, 0, o.cut) : -1;
}

struct Usage {
    DWORD gdi = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    DWORD handles = 0;
    unsigned long long virtualKb = 0;
    Usage() {
        GetProcessHandleCount(GetCurrentProcess(), &handles);
        MEMORYSTATUSEX memory{};
        memory.dwLength = sizeof(memory);
        if (GlobalMemoryStatusEx(&memory))
            virtualKb = (memory.ullTotalVirtual - memory.ullAvailVirtual) / 1024;
    }
};

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fprintf(stderr, "usage: probe_picture_loader [options] WIDTH HEIGHT PATH\n");
        return 3;
    }
    ScopedComApartment com;

    if (o.nullSurface) {
        const long result = loadAsTheWalkWould(nullptr, o.path, o.cut);
        std::printf("result %ld 0x%08lX\n", result, static_cast<unsigned long>(result));
        return 0;
    }

    ProbeDisplay display("picture probe");
    if (!display) {
        std::printf("directdraw failed\n");
        return 2;
    }
    ComPtr<IDirectDrawSurface3> surface = display.offscreenSurface(o.width, o.height);
    if (!surface) {
        std::printf("surface failed\n");
        return 2;
    }

    if (o.fill)
        fillSurface(surface.get(), o.width, o.height, o.fillColour);

    const Usage before;
    long result = 0;
    for (int i = 0; i < o.repeat; ++i)
        result = o.systemBmp    ? loadWithSystem(surface.get(), o)
                 : o.systemJpeg ? loadWithSystemJpeg(surface.get(), o)
                                : loadAsTheWalkWould(surface.get(), o.path, o.cut);
    const Usage after;
    std::printf("result %ld 0x%08lX\n", result, static_cast<unsigned long>(result));
    std::printf("gdi %lu %lu\n", static_cast<unsigned long>(before.gdi),
                static_cast<unsigned long>(after.gdi));
    std::printf("handles %lu %lu\n", static_cast<unsigned long>(before.handles),
                static_cast<unsigned long>(after.handles));
    std::printf("memory %llu %llu\n", before.virtualKb, after.virtualKb);

    int width = 0, height = 0, bpp = 0;
    std::vector<Rgb> pixels;
    if (!readSurface(surface.get(), width, height, bpp, pixels)) {
        std::printf("lock failed\n");
        return 2;
    }
    std::printf("surface %d %d %d\n", width, height, bpp);
    for (const auto& point : o.points)
        printPixel(pixels, width, height, point.first, point.second);
    for (int row = 0; row < o.grid; ++row)
        for (int column = 0; column < o.grid; ++column)
            printPixel(pixels, width, height, (2 * column + 1) * width / (2 * o.grid),
                       (2 * row + 1) * height / (2 * o.grid));
    if (o.dumpPath)
        dump(o.dumpPath, pixels, width, height);
    std::fflush(stdout);
    return 0;
}
