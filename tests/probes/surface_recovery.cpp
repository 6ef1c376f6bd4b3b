// Probe for the surface recovery: the display's colour depth changes under surfaces made for
// another; prints what the old primary's Restore answers and what recovery makes of it.
// Usage: probe_surface_recovery <width> <height> (the screen's size).
#include "engine/win/render_control.h"
#include "engine/win/surface_recovery.h"
#include "probe_display.h"

#include <cstdio>
#include <cstdlib>

namespace {

// "<bits per pixel> <1 when it locks>"
void sayFormat(const char* name, IDirectDrawSurface3* surface) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    const bool locked = SUCCEEDED(surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr));
    if (locked)
        surface->Unlock(nullptr);
    std::printf("%s %lu %d\n", name,
                static_cast<unsigned long>(description.ddpfPixelFormat.dwRGBBitCount), locked);
}

} // namespace

int main(int argc, char** argv) {
    ProbeDisplay display("surface recovery");
    if (argc != 3 || !display)
        return 2;
    ComPtr<IDirectDrawSurface3> primary = display.primarySurface();
    ComPtr<IDirectDrawSurface3> picture = display.offscreenSurface(64, 48);
    DEVMODEA mode = {};
    mode.dmSize = sizeof(mode);
    mode.dmPelsWidth = static_cast<DWORD>(std::atoi(argv[1]));
    mode.dmPelsHeight = static_cast<DWORD>(std::atoi(argv[2]));
    mode.dmBitsPerPel = 16;
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT | DM_BITSPERPEL;
    TargetPlace wholeScreen;
    wholeScreen.set({0, 0, 64, 48, 0, 0});
    RenderTarget target = {display.directDraw(), primary.get(), picture.get(), &wholeScreen};
    RenderControl control; // never held nor stopped: the recovery's waits just sleep
    SurfaceRecovery recovery(target, control);
    if (!primary || !picture || ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != 0)
        return 3;
    std::printf("restore %08lx\n", static_cast<unsigned long>(primary->Restore()));
    std::printf("lost %d\n", recovery.lost() ? 1 : 0);
    std::fflush(stdout);
    std::printf("recovered %d\n", recovery.recover() ? 1 : 0);
    sayFormat("screen", target.screen);
    sayFormat("picture", target.picture);
    ChangeDisplaySettingsA(nullptr, 0);
    return 0;
}
