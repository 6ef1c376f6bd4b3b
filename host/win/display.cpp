#include "host/win/display.h"

#include "engine/win/screen_canvas.h"
#include "host/win/saver_session.h"

#include <cstdio>

namespace {

constexpr const char* displayFailureText = "DirectDraw Init FAILED";
constexpr const char* saverCaption = "Vellutor";

// What the mode enumeration works on: the list to fill, or the full-screen saver's mode to
// find by its number.
struct ModeSearch {
    bool fullScreen;
    std::uint16_t wanted;
    std::uint16_t ordinal;
    std::vector<std::string>& modes;
    TargetPlace& place;
    DWORD bitDepth; // of the wanted mode, once found
};

HRESULT WINAPI onDisplayMode(LPDDSURFACEDESC mode, LPVOID context) {
    ModeSearch& search = *static_cast<ModeSearch*>(context);
    DWORD depth = mode->ddpfPixelFormat.dwRGBBitCount;
    if (depth != 16 && depth != 24 && depth != 32)
        return DDENUMRET_OK;
    ++search.ordinal;
    if (search.fullScreen) {
        if (search.ordinal != search.wanted)
            return DDENUMRET_OK;
        search.bitDepth = depth;
        const std::int32_t width = static_cast<std::int32_t>(mode->dwWidth);
        const std::int32_t height = static_cast<std::int32_t>(mode->dwHeight);
        search.place.set({0, 0, width, height, 0, 0});
        return DDENUMRET_CANCEL;
    }
    char entry[20];
    std::snprintf(entry, sizeof(entry), "%dx%dx%d", static_cast<int>(mode->dwWidth),
                  static_cast<int>(mode->dwHeight), static_cast<int>(depth));
    try {
        search.modes.push_back(entry);
    } catch (const std::bad_alloc&) {
        return DDENUMRET_CANCEL; // the list ends here
    }
    return DDENUMRET_OK;
}

// Asks `surface` for IDirectDrawSurface3 and lets the first interface go.
bool toSurface3(IDirectDrawSurface* surface, ComPtr<IDirectDrawSurface3>& surface3) {
    HRESULT result = surface->QueryInterface(IID_IDirectDrawSurface3, surface3.outVoid());
    surface->Release();
    if (FAILED(result))
        surface3.reset();
    return static_cast<bool>(surface3);
}

bool reportDisplayFailure(SaverSession& session) {
    session.display().release();
    MessageBoxA(session.window(), displayFailureText, saverCaption, MB_OK);
    DestroyWindow(session.window());
    return false;
}

void startRendering(SaverSession& session) {
    session.renderers().primary().start(
        screenCanvasMaker(session.display().target(session.place(), session.window())),
        THREAD_PRIORITY_IDLE);
}

} // namespace

static_assert(sizeof(DDSURFACEDESC) == 108, "DirectDraw surface description size");

// DirectDraw is loaded at run time, so that a system without it gets the failure message
// instead of a program that cannot start at all.
bool ScreenDisplay::createDirectDraw() {
    using CreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);
    if (!library_)
        library_ = LoadLibraryA("ddraw.dll");
    if (!library_)
        return false;
    auto create = reinterpret_cast<CreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(library_, "DirectDrawCreate")));
    ComPtr<IDirectDraw> first;
    if (!create || FAILED(create(nullptr, first.out(), nullptr)))
        return false;
    if (FAILED(first->QueryInterface(IID_IDirectDraw2, directDraw_.outVoid())))
        directDraw_.reset();
    return static_cast<bool>(directDraw_);
}

bool ScreenDisplay::chooseMode(HWND window, bool fullScreen, std::uint16_t videoMode,
                               TargetPlace& place) {
    modes_.clear();
    ModeSearch search = {fullScreen, videoMode, 0, modes_, place, 0};
    if (FAILED(directDraw_->EnumDisplayModes(0, nullptr, &search, onDisplayMode)))
        return false;
    // A mode number that names no listed mode keeps the current display mode.
    if (fullScreen && videoMode != 0 && search.bitDepth != 0) {
        if (FAILED(directDraw_->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
            return false;
        const TargetGeometry target = place.get();
        if (FAILED(directDraw_->SetDisplayMode(target.right, target.bottom, search.bitDepth, 0, 0)))
            return false;
        modeChanged_ = true;
        return true;
    }
    return SUCCEEDED(directDraw_->SetCooperativeLevel(window, DDSCL_NORMAL));
}

bool ScreenDisplay::open(HWND window, bool fullScreen, std::uint16_t videoMode,
                         TargetPlace& place) {
    return createDirectDraw() && chooseMode(window, fullScreen, videoMode, place);
}

bool ScreenDisplay::createPictureSurface(const TargetGeometry& place) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.dwHeight = place.bottom - place.top;
    description.dwWidth = place.right - place.left;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(directDraw_->CreateSurface(&description, &surface, nullptr)))
        return false;
    return toSurface3(surface, pictureSurface_);
}

bool ScreenDisplay::createSurfaces(const TargetGeometry& place) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(directDraw_->CreateSurface(&description, &surface, nullptr)))
        return false;
    const bool primary = toSurface3(surface, primarySurface_);
    return createPictureSurface(place) && primary;
}

bool ScreenDisplay::remakePictureSurface(const TargetGeometry& place) {
    pictureSurface_.reset();
    return directDraw_ && place.right > place.left && place.bottom > place.top &&
           createPictureSurface(place);
}

void ScreenDisplay::release() {
    primarySurface_.reset();
    pictureSurface_.reset();
    directDraw_.reset();
}

void ScreenDisplay::restoreMode() {
    if (directDraw_)
        directDraw_->RestoreDisplayMode();
}

bool setupDisplay(SaverSession& session) {
    ScreenDisplay& display = session.display();
    if (!display.open(session.window(), session.saver(), session.stored().record.videoMode,
                      session.place()) ||
        !display.createSurfaces(session.target()))
        return reportDisplayFailure(session);
    startRendering(session);
    return true;
}

PreviewRebuild rebuildRendering(SaverSession& session, DWORD boundMs) {
    Renderer& renderer = session.renderers().primary();
    if (!session.display().directDraw() || !renderer.hasThread())
        return PreviewRebuild::Failed;
    // A thread that does not stop may still draw on the surface: both stay as they are, and
    // the stop is taken back so that the old preview goes on.
    if (!renderer.stop(boundMs)) {
        if (renderer.withdrawStop())
            return PreviewRebuild::Later;
        // It had seen the stop and is on its way out: wait for that.
        if (!renderer.stop(boundMs))
            return PreviewRebuild::Later;
    }
    if (!session.display().remakePictureSurface(session.target()))
        return PreviewRebuild::Failed;
    startRendering(session);
    return renderer.hasThread() ? PreviewRebuild::Done : PreviewRebuild::Failed;
}
