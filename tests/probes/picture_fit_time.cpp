// Times the loading of one picture onto a screen-sized off-screen surface: the system's
// whole decoding (how every JPEG was decoded before it was decoded to scale), the fitting of
// the decoded bitmap, and the loader as the saver calls it.
// Usage: probe_picture_fit_time PATH [repeats] [system|loader]
// With "system" or "loader" only that path runs, so that the process's peak memory is its.
// Output: "decode SECONDS", "fit SECONDS" (GIF and JPEG only), "load SECONDS" (medians),
// "size W H", "result R".
#include "engine/picture_endings.h"
#include "pictures/win/picture_loader.h"
#include "tests/probes/probe_display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

double seconds() {
    LARGE_INTEGER frequency, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::puts("usage: probe_picture_fit_time PATH [repeats]");
        return 3;
    }
    const char* path = argv[1];
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    const std::string only = argc > 3 ? argv[3] : "";
    const PictureFormat format = pictureFormatOf(path).value_or(FormatBmp);
    ScopedComApartment com;
    ProbeDisplay display("fit probe");
    if (!display) {
        std::puts("error no display");
        return 2;
    }
    ComPtr<IDirectDrawSurface3> surface =
        display.offscreenSurface(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    if (!surface) {
        std::puts("error no surface");
        return 2;
    }

    std::vector<double> decode, fit, load;
    long result = 0;
    for (int i = 0; i < repeats && only != "loader"; ++i) {
        ComPtr<IPicture> owner;
        const double began = seconds();
        HBITMAP bitmap = loadOlePicture(owner, path, format);
        const double decoded = seconds();
        if (!bitmap) {
            std::puts("system skipped");
            break; // not a GIF or JPEG, or over the budget for a whole decoding
        }
        if (i == 0) {
            BITMAP info{};
            GetObjectA(bitmap, sizeof(info), &info);
            std::printf("size %ld %ld\n", info.bmWidth, info.bmHeight);
        }
        result = fitBitmapToSurface(surface.get(), bitmap, 0, 0, 0, 0, false);
        fit.push_back(seconds() - decoded);
        decode.push_back(decoded - began);
    }
    for (int i = 0; i < repeats && only != "system"; ++i) {
        const double began = seconds();
        result = loadPictureToSurface(surface.get(), path, format, false);
        load.push_back(seconds() - began);
    }
    if (!decode.empty())
        std::printf("decode %.4f\nfit %.4f\n", median(decode), median(fit));
    std::printf("load %.4f\nresult %ld\n", median(load), result);
    std::fflush(stdout);
    return 0;
}
