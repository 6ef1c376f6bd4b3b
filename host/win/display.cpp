#include "host/win/display.h"

#include "engine/win/render_control.h"
#include "engine/win/render_target.h"
#include "engine/win/render_thread.h"
#include "resources/resource_ids.h"
#include "settings/win/settings_store.h"

#include <cstdio>

namespace {

constexpr const char* displayFailureText = "DirectDraw Init FAILED";
constexpr const char* saverCaption = "Vellutor";

// What the mode enumeration works on: the list to fill in the dialog, or the full-screen
// saver's mode to find by its number.
struct ModeSearch {
    SaverSession& session;
    HWND modeList;
    std::uint16_t ordinal;
};

HRESULT WINAPI onDisplayMode(LPDDSURFACEDESC mode, LPVOID context) {
    ModeSearch& search = *static_cast<ModeSearch*>(context);
    DWORD depth = mode->ddpfPixelFormat.dwRGBBitCount;
    if (depth != 16 && depth != 24 && depth != 32)
        return DDENUMRET_OK;
    ++search.ordinal;
    if (search.session.saver) {
        if (search.ordinal != search.session.stored.record.videoMode)
            return DDENUMRET_OK;
        search.session.chosenBitDepth = depth;
        const std::int32_t width = static_cast<std::int32_t>(mode->dwWidth);
        const std::int32_t height = static_cast<std::int32_t>(mode->dwHeight);
        search.session.setTarget({0, 0, width, height, 0, 0});
        return DDENUMRET_CANCEL;
    }
    char entry[20];
    std::snprintf(entry, sizeof(entry), "%dx%dx%d", static_cast<int>(mode->dwWidth),
                  static_cast<int>(mode->dwHeight), static_cast<int>(depth));
    if (search.modeList)
        SendMessageA(search.modeList, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    return DDENUMRET_OK;
}

bool reportDisplayFailure(SaverSession& session) {
    releaseDisplay(session);
    MessageBoxA(session.window, displayFailureText, saverCaption, MB_OK);
    DestroyWindow(session.window);
    return false;
}

// Asks `surface` for IDirectDrawSurface3 and lets the first interface go.
bool toSurface3(IDirectDrawSurface* surface, ComPtr<IDirectDrawSurface3>& surface3) {
    HRESULT result = surface->QueryInterface(IID_IDirectDrawSurface3, surface3.outVoid());
    surface->Release();
    if (FAILED(result))
        surface3.reset();
    return static_cast<bool>(surface3);
}

// DirectDraw is loaded at run time, so that a system without it gets the failure message
// instead of a program that cannot start at all. The library stays for the process's life.
HRESULT directDrawCreate(SaverSession& session, IDirectDraw** directDrawOut) {
    using CreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);
    if (!session.directDrawLibrary)
        session.directDrawLibrary = LoadLibraryA("ddraw.dll");
    if (!session.directDrawLibrary)
        return E_FAIL;
    auto create = reinterpret_cast<CreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(session.directDrawLibrary, "DirectDrawCreate")));
    return create ? create(nullptr, directDrawOut, nullptr) : E_FAIL;
}

bool createDirectDraw(SaverSession& session) {
    ComPtr<IDirectDraw> first;
    if (FAILED(directDrawCreate(session, first.out())))
        return false;
    if (FAILED(first->QueryInterface(IID_IDirectDraw2, session.directDraw.outVoid())))
        session.directDraw.reset();
    return static_cast<bool>(session.directDraw);
}

bool chooseDisplayMode(SaverSession& session) {
    IDirectDraw2* directDraw = session.directDraw.get();
    HWND modeList = session.dialog ? GetDlgItem(session.dialog, IDC_VIDEO_MODE) : nullptr;
    ModeSearch search = {session, modeList, 0};
    if (FAILED(directDraw->EnumDisplayModes(0, nullptr, &search, onDisplayMode)))
        return false;
    // A mode number that names no listed mode keeps the current display mode.
    if (session.saver && session.stored.record.videoMode != 0 && session.chosenBitDepth != 0) {
        if (FAILED(directDraw->SetCooperativeLevel(session.window,
                                                   DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
            return false;
        const TargetGeometry target = session.target();
        if (FAILED(directDraw->SetDisplayMode(target.right, target.bottom, session.chosenBitDepth,
                                              0, 0)))
            return false;
        session.displayModeChanged = true;
        return true;
    }
    if (!session.saver && modeList)
        SendMessageA(modeList, CB_SETCURSEL, session.stored.record.videoMode, 0);
    return SUCCEEDED(directDraw->SetCooperativeLevel(session.window, DDSCL_NORMAL));
}

bool createPictureSurface(SaverSession& session) {
    const TargetGeometry target = session.target();
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.dwHeight = target.bottom - target.top;
    description.dwWidth = target.right - target.left;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(session.directDraw->CreateSurface(&description, &surface, nullptr)))
        return false;
    return toSurface3(surface, session.pictureSurface);
}

TargetGeometry sessionTarget(const void* session) {
    return static_cast<const SaverSession*>(session)->target();
}

void startRendering(SaverSession& session) {
    session.renderJob = {{session.directDraw.get(), session.primarySurface.get(),
                          session.pictureSurface.get(), sessionTarget, &session, session.window},
                         &session.settings,
                         session.stored.lastPictureName,
                         &session.stored.lastPictureSearchDone,
                         &session.stored.skippedPictures,
                         &session.pictureUnderDecode,
                         imagesFolderFullPath};
    session.renderThread.reset(
        startRenderThread(runRenderThread, &session.renderJob, THREAD_PRIORITY_IDLE));
}

bool createSurfaces(SaverSession& session) {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(session.directDraw->CreateSurface(&description, &surface, nullptr)))
        return false;
    const bool primary = toSurface3(surface, session.primarySurface);
    return createPictureSurface(session) && primary;
}

} // namespace

static_assert(sizeof(DDSURFACEDESC) == 108, "DirectDraw surface description size");

bool setupDisplay(SaverSession& session) {
    if (!createDirectDraw(session) || !chooseDisplayMode(session) || !createSurfaces(session))
        return reportDisplayFailure(session);
    startRendering(session);
    return true;
}

bool rebuildRendering(SaverSession& session, DWORD boundMs) {
    if (!session.directDraw || !session.renderThread)
        return false;
    // A thread that does not stop may still draw on the surface: both stay as they are.
    if (!stopRenderThread(session.renderThread.get(), boundMs))
        return false;
    session.renderThread.reset();
    session.pictureSurface.reset();
    const TargetGeometry target = session.target();
    if (target.right <= target.left || target.bottom <= target.top ||
        !createPictureSurface(session))
        return false;
    startRendering(session);
    return static_cast<bool>(session.renderThread);
}

void releaseDisplay(SaverSession& session) {
    session.primarySurface.reset();
    session.pictureSurface.reset();
    session.directDraw.reset();
}
