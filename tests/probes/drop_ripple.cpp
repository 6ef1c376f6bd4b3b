// Lets one drop fall in-process on the real screen surfaces and reports which bytes of the
// primary surface its frames changed, sampled while the ripple plays. Used where Wine cannot
// show the result on the X screen (an 8-bit primary without a palette shows black).
// Usage: probe_drop_ripple <waveSize> [seed]
#include "engine/random.h"
#include "engine/surface_heap.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/render_control.h"
#include "pictures/win/picture_loader.h"
#include "tests/probes/probe_display.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
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
RandomGenerator dropRandom{1};

// The drop size under test, set by main before any drop.
std::uint8_t waveSize = 0;

// Vertical stripes of strong colours, so that a bent or shaded patch differs from them.
void paintStripes(int width, int height) {
    ScopedSurfaceDC picture(pictureSurface);
    for (int x = 0; x < width; x += 8) {
        COLORREF colour = RGB((x * 7) & 255, (x * 3) & 255, 255 - (x & 255));
        HBRUSH brush = CreateSolidBrush(colour);
        RECT stripe = {x, 0, x + 8, height};
        FillRect(picture.get(), &stripe, brush);
        DeleteObject(brush);
    }
}

std::vector<unsigned char> primaryBytes(int& pitch, DWORD& bits) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    std::vector<unsigned char> bytes;
    if (FAILED(primarySurface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr)))
        return bytes;
    pitch = description.lPitch;
    bits = description.ddpfPixelFormat.dwRGBBitCount;
    const unsigned char* start = static_cast<const unsigned char*>(description.lpSurface);
    bytes.assign(start, start + static_cast<size_t>(pitch) * description.dwHeight);
    primarySurface->Unlock(nullptr);
    return bytes;
}

struct Sample {
    long changed = 0;
    int left = 0, top = 0, right = 0, bottom = 0; // changed bytes' pixels, right/bottom exclusive
};

Sample compare(const std::vector<unsigned char>& before, const std::vector<unsigned char>& after,
               int pitch, int bytesPerPixel) {
    Sample sample;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    for (size_t i = 0; i < after.size() && i < before.size(); ++i) {
        if (before[i] == after[i])
            continue;
        int y = static_cast<int>(i / pitch);
        int x = static_cast<int>((i % pitch) / bytesPerPixel);
        ++sample.changed;
        left = x < left ? x : left;
        right = x > right ? x : right;
        top = y < top ? y : top;
        bottom = y > bottom ? y : bottom;
    }
    if (sample.changed)
        sample = {sample.changed, left, top, right + 1, bottom + 1};
    return sample;
}

HANDLE rippleHeap = nullptr;
// The stand-in render thread's protocol and where it draws; set by main before it starts.
RenderControl renderControl;
TargetPlace targetPlace;

DWORD WINAPI dropOnce(void*) {
    {
        const RenderTarget target = {directDraw, primarySurface, pictureSurface, &targetPlace};
        SurfaceHeap waterHeap(windowsSurfaceHeap);
        DropRipple ripple(rippleHeap, waterHeap, target, TargetRect.right, TargetRect.bottom,
                          renderControl);
        ripple.prepareRipple(waveSize);
        ripple.dropStep(dropRandom);
    }
    renderControl.threadEnded();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::puts("usage: probe_drop_ripple <waveSize> [seed]");
        return 2;
    }
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    TargetRect = {0, 0, width, height};
    TargetOrigin = {0, 0};
    targetPlace.set({TargetRect.left, TargetRect.top, TargetRect.right, TargetRect.bottom,
                     TargetOrigin.x, TargetOrigin.y});
    waveSize = static_cast<std::uint8_t>(std::atoi(argv[1]));
    ProbeDisplay display("probe");
    ComPtr<IDirectDrawSurface3> primary, picture;
    if (display) {
        primary = display.primarySurface();
        picture = display.offscreenSurface(width, height);
    }
    if (!primary || !picture) {
        std::puts("error no display");
        return 2;
    }
    directDraw = display.directDraw();
    primarySurface = primary.get();
    pictureSurface = picture.get();
    paintStripes(width, height);
    RECT whole = {0, 0, width, height};
    primarySurface->BltFast(0, 0, pictureSurface, &whole, DDBLTFAST_WAIT);

    int pitch = 0;
    DWORD bits = 0;
    std::vector<unsigned char> before = primaryBytes(pitch, bits);
    if (before.empty()) {
        std::puts("error cannot lock the primary surface");
        return 2;
    }
    const int bytesPerPixel = bits >= 8 ? static_cast<int>(bits / 8) : 1;
    rippleHeap = HeapCreate(0, 0, 0);
    dropRandom = RandomGenerator{argc > 2 ? static_cast<std::uint32_t>(std::atoi(argv[2])) : 1u};

    // The drop runs as the render thread does; holding it parks it between two frames, where
    // the primary surface can be read.
    renderControl.hold();
    HANDLE worker = renderControl.start(dropOnce, nullptr);
    long most = 0;
    int samples = 0;
    Sample all = {0, 1 << 30, 1 << 30, -1, -1};
    while (WaitForSingleObject(worker, 0) == WAIT_TIMEOUT && samples < 40) {
        renderControl.release();
        Sleep(10);
        renderControl.hold();
        Sample sample = compare(before, primaryBytes(pitch, bits), pitch, bytesPerPixel);
        ++samples;
        if (!sample.changed)
            continue;
        most = sample.changed > most ? sample.changed : most;
        all.left = sample.left < all.left ? sample.left : all.left;
        all.top = sample.top < all.top ? sample.top : all.top;
        all.right = sample.right > all.right ? sample.right : all.right;
        all.bottom = sample.bottom > all.bottom ? sample.bottom : all.bottom;
    }
    renderControl.release();
    WaitForSingleObject(worker, 60000);
    std::printf("depth %lu\nsamples %d\nmost %ld\n", static_cast<unsigned long>(bits), samples,
                most);
    if (most)
        std::printf("box %d %d %d %d\n", all.left, all.top, all.right, all.bottom);
    std::fflush(stdout);
    ExitProcess(0);
}
