// Plays the same drops twice in-process: as the saver plays them (frames written straight
// into the locked picture surface where its format allows, a frame that repeats the one on
// the screen left out) and with every frame through GDI and put on the screen; reports
// whether both left the same bytes in the picture surface and on the screen. The picture surface is
// made in the screen's format or in another one, to reach every layout the direct path writes.
// Usage: probe_ripple_paths
// Output per format and wave size: "paths FORMAT WAVE SEED DIRECT SAME_PICTURE
// SAME_SCREEN CHANGED" (DIRECT: the format is written directly; CHANGED: picture bytes the
// drop changed), then "depth BITS" of the screen.
#include "engine/patch_pixels.h"
#include "engine/random.h"
#include "engine/surface_heap.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/render_control.h"
#include "resources/win/scoped.h"
#include "resources/win/surface_dc.h"
#include "tests/probes/probe_display.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// Set by main before anything is drawn.
const ProbeDisplay* display = nullptr;
ComPtr<IDirectDrawSurface3> primary;
int screenWidth = 0, screenHeight = 0;

struct Format {
    const char* name;
    DWORD bits, red, green, blue; // bits 0: the screen's own format
};

const Format formats[] = {{"screen", 0, 0, 0, 0},
                          {"565", 16, 0xF800, 0x07E0, 0x001F},
                          {"555", 16, 0x7C00, 0x03E0, 0x001F},
                          {"24", 24, 0xFF0000, 0xFF00, 0xFF}};

ComPtr<IDirectDrawSurface3> createPicture(const Format& format) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    description.dwWidth = screenWidth;
    description.dwHeight = screenHeight;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    if (format.bits) {
        description.dwFlags |= DDSD_PIXELFORMAT;
        description.ddsCaps.dwCaps |= DDSCAPS_SYSTEMMEMORY;
        description.ddpfPixelFormat.dwSize = sizeof(DDPIXELFORMAT);
        description.ddpfPixelFormat.dwFlags = DDPF_RGB;
        description.ddpfPixelFormat.dwRGBBitCount = format.bits;
        description.ddpfPixelFormat.dwRBitMask = format.red;
        description.ddpfPixelFormat.dwGBitMask = format.green;
        description.ddpfPixelFormat.dwBBitMask = format.blue;
    }
    return display->createSurface(description);
}

// Stripes of strong colours, so that every channel of a bent patch differs from them.
void paintStripes(IDirectDrawSurface3* surface) {
    ScopedSurfaceDC dc(surface);
    for (int x = 0; x < screenWidth; x += 6) {
        Scoped<GdiObjectTraits<HBRUSH>> brush(
            CreateSolidBrush(RGB((x * 7) & 255, (x * 13) & 255, 255 - (x & 255))));
        RECT stripe = {x, 0, x + 6, screenHeight};
        FillRect(dc.get(), &stripe, brush.get());
    }
}

std::vector<unsigned char> surfaceBytes(IDirectDrawSurface3* surface, DWORD* bits = nullptr) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    std::vector<unsigned char> bytes;
    if (FAILED(surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr)))
        return bytes;
    if (bits)
        *bits = description.ddpfPixelFormat.dwRGBBitCount;
    const auto* start = static_cast<const unsigned char*>(description.lpSurface);
    const std::size_t rowBytes =
        description.dwWidth * ((description.ddpfPixelFormat.dwRGBBitCount + 7) / 8);
    for (DWORD y = 0; y < description.dwHeight; ++y)
        bytes.insert(bytes.end(), start + y * description.lPitch,
                     start + y * description.lPitch + rowBytes);
    surface->Unlock(description.lpSurface);
    return bytes;
}

struct Play {
    IDirectDrawSurface3* picture;
    std::uint8_t waveSize;
    std::uint32_t seed;
    bool direct;
    HANDLE heap;
};

// The stand-in render thread's protocol.
RenderControl renderControl;

DWORD WINAPI playDrops(void* parameter) {
    const Play& play = *static_cast<const Play*>(parameter);
    {
        TargetPlace wholeScreen;
        wholeScreen.set({0, 0, screenWidth, screenHeight, 0, 0});
        const RenderTarget target = {display->directDraw(), primary.get(), play.picture,
                                     &wholeScreen};
        SurfaceHeap waterHeap(windowsSurfaceHeap);
        DropRipple ripple(play.heap, waterHeap, target, screenWidth, screenHeight, renderControl);
        ripple.allowDirectFrames(play.direct);
        ripple.skipRepeatedFrames(play.direct);
        ripple.prepareRipple(play.waveSize);
        RandomGenerator random{play.seed};
        for (int drop = 0; drop < 2; ++drop)
            ripple.dropStep(random);
    }
    renderControl.threadEnded();
    return 0;
}

// The picture and screen bytes after two drops from the same start.
void playFrom(const Format& format, Play play, std::vector<unsigned char>& picture,
              std::vector<unsigned char>& screen, std::vector<unsigned char>& start) {
    ComPtr<IDirectDrawSurface3> surface = createPicture(format);
    if (!surface)
        return;
    paintStripes(surface.get());
    paintStripes(primary.get());
    start = surfaceBytes(surface.get());
    play.picture = surface.get();
    ScopedHandle thread(renderControl.start(playDrops, &play));
    WaitForSingleObject(thread.get(), 60000);
    picture = surfaceBytes(surface.get());
    screen = surfaceBytes(primary.get());
}

bool directFormat(IDirectDrawSurface3* surface) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    if (!surface || FAILED(surface->GetSurfaceDesc(&description)))
        return false;
    const DDPIXELFORMAT& f = description.ddpfPixelFormat;
    return (f.dwFlags & DDPF_RGB) && !(f.dwFlags & DDPF_PALETTEINDEXED8) &&
           patchLayoutSupported({f.dwRGBBitCount, f.dwRBitMask, f.dwGBitMask, f.dwBBitMask});
}

} // namespace

int main() {
    screenWidth = GetSystemMetrics(SM_CXSCREEN);
    screenHeight = GetSystemMetrics(SM_CYSCREEN);
    ProbeDisplay probeDisplay("probe");
    if (!probeDisplay) {
        std::puts("error no display");
        return 2;
    }
    display = &probeDisplay;
    primary = probeDisplay.primarySurface();
    if (!primary) {
        std::puts("error no primary surface");
        return 2;
    }
    HANDLE heap = HeapCreate(0, 0, 0);
    for (const Format& format : formats) {
        for (std::uint8_t waveSize : {0, 4}) {
            for (std::uint32_t seed : {3u}) {
                std::vector<unsigned char> start, gdiPicture, gdiScreen, directPicture,
                    directScreen;
                playFrom(format, {nullptr, waveSize, seed, false, heap}, gdiPicture, gdiScreen,
                         start);
                playFrom(format, {nullptr, waveSize, seed, true, heap}, directPicture, directScreen,
                         start);
                if (directPicture.empty())
                    continue; // no such surface here
                long changed = 0;
                for (std::size_t i = 0; i < start.size() && i < directPicture.size(); ++i)
                    changed += start[i] != directPicture[i];
                ComPtr<IDirectDrawSurface3> probe = createPicture(format);
                std::printf("paths %s %d %u %d %d %d %ld\n", format.name, waveSize, seed,
                            directFormat(probe.get()) ? 1 : 0, gdiPicture == directPicture ? 1 : 0,
                            gdiScreen == directScreen ? 1 : 0, changed);
            }
        }
    }
    DWORD bits = 0;
    surfaceBytes(primary.get(), &bits);
    std::printf("depth %lu\n", static_cast<unsigned long>(bits));
    std::fflush(stdout);
    ExitProcess(0);
}
