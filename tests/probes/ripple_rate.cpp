// Plays whole drops in-process on the real screen surfaces and reports their frame rate for
// every wave size, beside the rate of frames that only take the same patch to the screen;
// then plays drops paced at the display's refresh, as the saver does, and reports how long
// each lasts beside frames / the show's 60 steps a second.
// Usage: probe_ripple_rate [drops per size] [paced drops per size] [wave size...]
// Output per size, medians over the drops: "ripple SIZE SIDE FRAMES SECONDS FPS" and
// "blit SIZE SIDE FRAMES SECONDS FPS"; then per size "pacer HZ VBLANK" once and
// "paced SIZE FRAMES SECONDS EXPECTED_SECONDS" with the median drop.
#include "engine/drop_geometry.h"
#include "engine/frame_schedule.h"
#include "engine/random.h"
#include "engine/surface_heap.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/frame_pacer.h"
#include "engine/win/render_control.h"
#include "pictures/win/picture_loader.h"
#include "tests/probes/probe_display.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The probe's own display, as a saver session would hold it.
IDirectDraw2* directDraw = nullptr;
IDirectDrawSurface3* primarySurface = nullptr;
IDirectDrawSurface3* pictureSurface = nullptr;
struct {
    LONG left, top, right, bottom;
} TargetRect = {};
struct {
    LONG x, y;
} TargetOrigin = {};

namespace {

// Where the drops are placed; seeded by main before any drop.
RandomGenerator rippleRandom{1};

// The drop size under test, set by main before any drop.
std::uint8_t waveSize = 0;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

struct Run {
    int drops;
    HANDLE heap;
    double elapsed;
    int frames;
    bool paced;
    std::uint32_t refreshHz;
    bool verticalBlank;
};

// The stand-in render thread's protocol.
RenderControl renderControl;

// The ripples run on a render thread, as in the saver: the frame loop asks its checkpoints.
DWORD WINAPI playDrops(void* parameter) {
    Run& run = *static_cast<Run*>(parameter);
    {
        FramePacer pacer(directDraw, renderControl);
        run.refreshHz = pacer.refreshHz();
        run.verticalBlank = pacer.usesVerticalBlank();
        TargetPlace place;
        place.set({TargetRect.left, TargetRect.top, TargetRect.right, TargetRect.bottom,
                   TargetOrigin.x, TargetOrigin.y});
        const RenderTarget target = {directDraw, primarySurface, pictureSurface, &place};
        SurfaceHeap waterHeap(windowsSurfaceHeap);
        DropRipple ripple(run.heap, waterHeap, target, TargetRect.right, TargetRect.bottom,
                          renderControl);
        if (run.paced)
            ripple.pacedBy(&pacer);
        ripple.prepareRipple(waveSize);
        const double began = seconds();
        for (int drop = 0; drop < run.drops; ++drop)
            ripple.dropStep(rippleRandom);
        run.elapsed = seconds() - began;
    }
    renderControl.threadEnded();
    return 0;
}

// The yardstick: per frame only the patch's trip to the screen, as a ripple frame makes it
// (pixels into the picture surface through a DIB, then the patch onto the screen), without
// the water.
double blitFrames(int side, int frames) {
    const int left = (TargetRect.right - side) / 2, top = (TargetRect.bottom - side) / 2;
    BITMAPINFOHEADER header = {};
    header.biSize = sizeof(header);
    header.biWidth = side;
    header.biHeight = side;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    std::vector<std::uint32_t> pixels(std::size_t(side) * side, 0x00406080u);
    ScopedBitmap bitmap;
    ScopedMemoryDC memory;
    {
        ScopedSurfaceDC screen(primarySurface);
        if (!screen)
            return 0.0;
        bitmap.reset(CreateCompatibleBitmap(screen.get(), side, side));
        memory.reset(CreateCompatibleDC(screen.get()));
    }
    if (!bitmap || !memory)
        return 0.0;
    RECT patch = {left, top, left + side, top + side};
    const double began = seconds();
    for (int frame = 0; frame < frames; ++frame) {
        {
            ScopedSurfaceDC picture(pictureSurface);
            if (picture) {
                SetDIBits(picture.get(), bitmap.get(), 0, side, pixels.data(),
                          reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
                ScopedSelect selected(memory.get(), bitmap.get());
                BitBlt(picture.get(), left, top, side, side, memory.get(), 0, 0, SRCCOPY);
            }
        }
        primarySurface->BltFast(left, top, pictureSurface, &patch, DDBLTFAST_WAIT);
    }
    return seconds() - began;
}

Run playOnRenderThread(HANDLE heap, int frames, bool paced) {
    Run run = {1, heap, 0.0, frames, paced, 0, false};
    HANDLE worker = renderControl.start(playDrops, &run);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    return run;
}

} // namespace

int main(int argc, char** argv) {
    const int drops = argc > 1 ? std::max(0, std::atoi(argv[1])) : 3;
    const int pacedDrops = argc > 2 ? std::atoi(argv[2]) : 1;
    std::vector<std::uint8_t> sizes;
    for (int arg = 3; arg < argc; ++arg)
        sizes.push_back(static_cast<std::uint8_t>(std::atoi(argv[arg])));
    if (sizes.empty())
        sizes = {0, 1, 2, 3, 4};
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    TargetRect = {0, 0, width, height};
    TargetOrigin = {0, 0};
    ProbeDisplay display("probe");
    if (!display) {
        std::puts("error no display");
        return 2;
    }
    directDraw = display.directDraw();
    ComPtr<IDirectDrawSurface3> primary = display.primarySurface();
    ComPtr<IDirectDrawSurface3> picture = display.offscreenSurface(width, height);
    if (!primary || !picture) {
        std::puts("error no surfaces");
        return 2;
    }
    primarySurface = primary.get();
    pictureSurface = picture.get();
    HANDLE heap = HeapCreate(0, 0, 0);

    // Drops and yardstick alternate, so that a change in the machine's load hits both.
    for (std::uint8_t size : sizes) {
        if (drops == 0)
            break;
        waveSize = size;
        const DropPreset preset = dropPresetFor(size);
        const int side = patchSide(preset);
        const int frames = framesPerDrop(preset);
        std::vector<double> ripples, blits;
        rippleRandom = RandomGenerator{1};
        for (int drop = 0; drop < drops; ++drop) {
            ripples.push_back(playOnRenderThread(heap, frames, false).elapsed);
            blits.push_back(blitFrames(side, frames));
        }
        const double ripple = median(ripples), blit = median(blits);
        std::printf("ripple %u %d %d %.4f %.1f\n", unsigned(size), side, frames, ripple,
                    frames / ripple);
        std::printf("blit %u %d %d %.4f %.1f\n", unsigned(size), side, frames, blit, frames / blit);
        std::fflush(stdout);
    }
    bool pacerShown = false;
    for (std::uint8_t size : sizes) {
        waveSize = size;
        const int frames = framesPerDrop(dropPresetFor(size));
        std::vector<double> durations;
        Run run = {};
        for (int drop = 0; drop < pacedDrops; ++drop) {
            run = playOnRenderThread(heap, frames, true);
            durations.push_back(run.elapsed);
        }
        if (durations.empty())
            break;
        if (!pacerShown) {
            std::printf("pacer %u %d\n", unsigned(run.refreshHz), run.verticalBlank ? 1 : 0);
            pacerShown = true;
        }
        std::printf("paced %u %d %.4f %.4f\n", unsigned(size), frames, median(durations),
                    double(frames) / showStepsPerSecond);
        std::fflush(stdout);
    }
    primarySurface = nullptr;
    pictureSurface = nullptr;
    picture.reset();
    primary.reset();
    directDraw = nullptr;
    HeapDestroy(heap);
    return 0;
}
