#include "engine/win/surface_recovery.h"

#include "engine/win/render_control.h"
#include "engine/win/test_seams.h"

#include <utility>

namespace {

// Restores are tried this often while the display is away: rare enough to cost nothing,
// soon enough that the show is back within a blink of the display.
constexpr DWORD restoreStepMs = 250;
// A display that is there but refuses new surfaces this many times in a row (2 s) will not
// take them: the saver ends rather than leave a still screen.
constexpr int remakeTries = 8;

// Test build: the surfaces are lost as the second picture starts and restore at the fourth
// try ("surface-loss"), or never ("surface-loss-stays"), or come back in a mode for which no
// surface can be made ("surface-wrong-mode").
constexpr const char* lossSeam = "surface-loss";
constexpr const char* lastingLossSeam = "surface-loss-stays";
constexpr const char* wrongModeSeam = "surface-wrong-mode";
constexpr int lossAtPicture = 2;
constexpr int failedRestoresOfLoss = 3;

bool isLost(IDirectDrawSurface3* surface) {
    return surface && surface->IsLost() == DDERR_SURFACELOST;
}

// Bits per pixel of the display now, or 0 when DirectDraw cannot tell.
DWORD displayBitCount(IDirectDraw2* directDraw) {
    DDSURFACEDESC mode = {};
    mode.dwSize = sizeof(mode);
    return directDraw && SUCCEEDED(directDraw->GetDisplayMode(&mode))
               ? mode.ddpfPixelFormat.dwRGBBitCount
               : 0;
}

bool describe(IDirectDrawSurface3* surface, DDSURFACEDESC& description) {
    description = {};
    description.dwSize = sizeof(description);
    return surface && SUCCEEDED(surface->GetSurfaceDesc(&description));
}

ComPtr<IDirectDrawSurface3> createSurface(IDirectDraw2* directDraw, DDSURFACEDESC& description) {
    ComPtr<IDirectDrawSurface> first;
    ComPtr<IDirectDrawSurface3> surface;
    if (SUCCEEDED(directDraw->CreateSurface(&description, first.out(), nullptr)))
        first->QueryInterface(IID_IDirectDrawSurface3, surface.outVoid());
    return surface;
}

// DirectDraw was loaded by the display's set-up and stays for the process's life.
ComPtr<IDirectDraw2> createDirectDraw(HWND window) {
    using CreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);
    HMODULE library = GetModuleHandleA("ddraw.dll");
    auto create = library ? reinterpret_cast<CreateFunction>(reinterpret_cast<void*>(
                                GetProcAddress(library, "DirectDrawCreate")))
                          : nullptr;
    ComPtr<IDirectDraw> first;
    ComPtr<IDirectDraw2> directDraw;
    if (!create || FAILED(create(nullptr, first.out(), nullptr)) ||
        FAILED(first->QueryInterface(IID_IDirectDraw2, directDraw.outVoid())) ||
        FAILED(directDraw->SetCooperativeLevel(window, DDSCL_NORMAL)))
        directDraw.reset();
    return directDraw;
}

} // namespace

bool SurfaceRecovery::faultDraw() {
    if (!testSeamArmed(lossSeam) && !testSeamArmed(lastingLossSeam))
        return false;
    if (faking_)
        return true;
    if (faultDone_ || picturesStarted_ < lossAtPicture)
        return false;
    faultDone_ = true;
    faking_ = true;
    fakedRestoreFailures_ = testSeamArmed(lastingLossSeam) ? -1 : failedRestoresOfLoss;
    return true;
}

SurfaceRecovery::SurfaceRecovery(RenderTarget& target, RenderControl& control)
    : target_(target), control_(control), madeAtDepth_(displayBitCount(target.directDraw)) {}

// Some drivers keep surfaces of the old depth usable and never report them lost, yet what is
// drawn on them no longer matches the screen.
bool SurfaceRecovery::depthChanged() const {
    const DWORD now = displayBitCount(target_.directDraw);
    return now != 0 && madeAtDepth_ != 0 && now != madeAtDepth_;
}

bool SurfaceRecovery::lost() const {
    return faking_ || isLost(target_.screen) || isLost(target_.picture) || depthChanged();
}

SurfaceRecovery::Restore SurfaceRecovery::restoreBoth() {
    if (faking_) {
        if (fakedRestoreFailures_ < 0)
            return Restore::NotYet;
        if (fakedRestoreFailures_ > 0) {
            --fakedRestoreFailures_;
            return Restore::NotYet;
        }
        if (testSeamArmed(wrongModeSeam))
            return Restore::WrongMode;
        faking_ = false;
    }
    // Restore gives a surface its memory back; on a surface that is not lost it does nothing.
    const HRESULT screen = target_.screen ? target_.screen->Restore() : DDERR_SURFACELOST;
    const HRESULT picture = target_.picture ? target_.picture->Restore() : DDERR_SURFACELOST;
    if (screen == DDERR_WRONGMODE || picture == DDERR_WRONGMODE || depthChanged())
        return Restore::WrongMode;
    return SUCCEEDED(screen) && SUCCEEDED(picture) ? Restore::Done : Restore::NotYet;
}

// New primary and picture surfaces from `directDraw`, the picture of the old one's size. The
// old ones stay with their owner; the thread draws on the new ones only.
bool SurfaceRecovery::makeSurfaces(IDirectDraw2* directDraw) {
    DDSURFACEDESC old;
    if (!directDraw || !describe(target_.picture, old))
        return false;
    DDSURFACEDESC primary = {};
    primary.dwSize = sizeof(primary);
    primary.dwFlags = DDSD_CAPS;
    primary.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    DDSURFACEDESC picture = {};
    picture.dwSize = sizeof(picture);
    picture.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
    picture.dwWidth = old.dwWidth;
    picture.dwHeight = old.dwHeight;
    picture.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    ComPtr<IDirectDrawSurface3> screen = createSurface(directDraw, primary);
    ComPtr<IDirectDrawSurface3> pictureSurface = createSurface(directDraw, picture);
    DDSURFACEDESC made;
    if (!screen || !pictureSurface || !describe(screen.get(), made))
        return false;
    // A smaller screen would leave the target partly off the new surface.
    const TargetGeometry place = target_.where();
    if (place.right > static_cast<std::int32_t>(made.dwWidth) ||
        place.bottom > static_cast<std::int32_t>(made.dwHeight))
        return false;
    target_.screen = screen.get();
    target_.picture = pictureSurface.get();
    madeAtDepth_ = displayBitCount(directDraw);
    remadeScreen_ = std::move(screen);
    remadePicture_ = std::move(pictureSurface);
    return true;
}

bool SurfaceRecovery::remakeForCurrentMode() {
    if (testSeamArmed(wrongModeSeam))
        return false;
    if (makeSurfaces(target_.directDraw))
        return true;
    // DirectDraw gives each object one primary surface, and the old one's owner still holds
    // it: a DirectDraw object of the thread's own makes the new one.
    ComPtr<IDirectDraw2> fresh = createDirectDraw(target_.window);
    if (!fresh || !makeSurfaces(fresh.get()))
        return false;
    target_.directDraw = fresh.get();
    remadeDirectDraw_ = std::move(fresh);
    return true;
}

// The same close a user's Alt+F4 asks for, so the shutdown runs as always. A preview stays
// still instead: closing it would take the settings dialog with it.
void SurfaceRecovery::askSaverToClose() const {
    if (target_.window && !(GetWindowLongA(target_.window, GWL_STYLE) & WS_CHILD))
        PostMessageA(target_.window, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool SurfaceRecovery::recover() {
    int remakesLeft = remakeTries;
    for (;;) {
        if (!control_.sleep(restoreStepMs))
            return false;
        switch (restoreBoth()) {
        case Restore::Done:
            return true;
        case Restore::NotYet:
            break;
        case Restore::WrongMode:
            if (remakeForCurrentMode())
                return true;
            if (--remakesLeft == 0) {
                askSaverToClose();
                return false;
            }
            break;
        }
    }
}
