#include "host/win/display.h"

#include "engine/win/render_control.h"
#include "engine/win/render_target.h"
#include "engine/win/render_thread.h"
#include "host/win/host_state.h"
#include "resources/resource_ids.h"
#include "settings/win/settings_store.h"

#include <cstdio>

IDirectDraw2* directDraw = nullptr;
IDirectDrawSurface3* primarySurface = nullptr;
IDirectDrawSurface3* pictureSurface = nullptr;
HANDLE renderThreadHandle = nullptr;
DWORD chosenBitDepth = 0;
bool displayModeChanged = false;

namespace {

constexpr const char* displayFailureText = "DirectDraw Init FAILED";
constexpr const char* saverCaption = "Vellutor";

std::uint16_t modeOrdinal = 0;

template <typename T> void releaseInterface(T*& p) {
    if (p) {
        p->Release();
        p = nullptr;
    }
}

HRESULT WINAPI onDisplayMode(LPDDSURFACEDESC mode, LPVOID context) {
    DWORD depth = mode->ddpfPixelFormat.dwRGBBitCount;
    if (depth != 16 && depth != 24 && depth != 32)
        return DDENUMRET_OK;
    ++modeOrdinal;
    if (saverFlag) {
        if (modeOrdinal != saverSettings.videoMode)
            return DDENUMRET_OK;
        chosenBitDepth = depth;
        TargetRect = {0, 0, static_cast<LONG>(mode->dwWidth), static_cast<LONG>(mode->dwHeight)};
        return DDENUMRET_CANCEL;
    }
    char entry[20];
    std::snprintf(entry, sizeof(entry), "%dx%dx%d", static_cast<int>(mode->dwWidth),
                  static_cast<int>(mode->dwHeight), static_cast<int>(depth));
    SendMessageA(static_cast<HWND>(context), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry));
    return DDENUMRET_OK;
}

bool reportDisplayFailure(HWND window) {
    releaseDisplay();
    MessageBoxA(window, displayFailureText, saverCaption, MB_OK);
    DestroyWindow(window);
    return false;
}

// Asks `surface` for IDirectDrawSurface3 and lets the first interface go.
IDirectDrawSurface3* toSurface3(IDirectDrawSurface* surface) {
    IDirectDrawSurface3* surface3 = nullptr;
    if (FAILED(
            surface->QueryInterface(IID_IDirectDrawSurface3, reinterpret_cast<void**>(&surface3))))
        surface3 = nullptr;
    surface->Release();
    return surface3;
}

// DirectDraw is loaded at run time, so that a system without it gets the failure message
// instead of a program that cannot start at all. The library stays for the process's life.
HRESULT directDrawCreate(IDirectDraw** directDrawOut) {
    using CreateFunction = HRESULT(WINAPI*)(GUID*, IDirectDraw**, IUnknown*);
    static HMODULE library = LoadLibraryA("ddraw.dll");
    if (!library)
        return E_FAIL;
    auto create = reinterpret_cast<CreateFunction>(
        reinterpret_cast<void*>(GetProcAddress(library, "DirectDrawCreate")));
    return create ? create(nullptr, directDrawOut, nullptr) : E_FAIL;
}

bool createDirectDraw() {
    IDirectDraw* first = nullptr;
    if (FAILED(directDrawCreate(&first)))
        return false;
    HRESULT result = first->QueryInterface(IID_IDirectDraw2, reinterpret_cast<void**>(&directDraw));
    first->Release();
    if (FAILED(result))
        directDraw = nullptr;
    return directDraw != nullptr;
}

bool chooseDisplayMode(HWND window) {
    HWND modeList = settingsDialog ? GetDlgItem(settingsDialog, IDC_VIDEO_MODE) : nullptr;
    if (FAILED(directDraw->EnumDisplayModes(0, nullptr, modeList, onDisplayMode)))
        return false;
    // A mode number that names no listed mode keeps the current display mode.
    if (saverFlag && saverSettings.videoMode != 0 && chosenBitDepth != 0) {
        if (FAILED(directDraw->SetCooperativeLevel(window, DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN)))
            return false;
        if (FAILED(directDraw->SetDisplayMode(TargetRect.right, TargetRect.bottom, chosenBitDepth,
                                              0, 0)))
            return false;
        displayModeChanged = true;
        return true;
    }
    if (!saverFlag && modeList)
        SendMessageA(modeList, CB_SETCURSEL, saverSettings.videoMode, 0);
    return SUCCEEDED(directDraw->SetCooperativeLevel(window, DDSCL_NORMAL));
}

bool createPictureSurface() {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.dwHeight = TargetRect.bottom - TargetRect.top;
    description.dwWidth = TargetRect.right - TargetRect.left;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(directDraw->CreateSurface(&description, &surface, nullptr)))
        return false;
    pictureSurface = toSurface3(surface);
    return pictureSurface != nullptr;
}

TargetGeometry targetPlace() {
    return {TargetRect.left,   TargetRect.top, TargetRect.right,
            TargetRect.bottom, TargetOrigin.x, TargetOrigin.y};
}

// What the render thread works with; written only while no thread runs, and never freed,
// since the process may end while the thread is detached.
RenderJob renderJob = {};

void startRendering() {
    renderJob = {{directDraw, primarySurface, pictureSurface, targetPlace},
                 &saverSettings,
                 lastPictureName,
                 &lastPictureSearchDone,
                 imagesFolderFullPath};
    renderThreadHandle = startRenderThread(runRenderThread, &renderJob);
    if (renderThreadHandle)
        SetThreadPriority(renderThreadHandle, THREAD_PRIORITY_IDLE);
}

bool createSurfaces() {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    IDirectDrawSurface* surface = nullptr;
    if (FAILED(directDraw->CreateSurface(&description, &surface, nullptr)))
        return false;
    primarySurface = toSurface3(surface);
    return createPictureSurface() && primarySurface;
}

} // namespace

static_assert(sizeof(DDSURFACEDESC) == 108, "DirectDraw surface description size");

bool setupDisplay(HWND window) {
    if (!createDirectDraw() || !chooseDisplayMode(window) || !createSurfaces())
        return reportDisplayFailure(window);
    startRendering();
    return true;
}

bool rebuildRendering(DWORD boundMs) {
    if (!directDraw || !renderThreadHandle)
        return false;
    // A thread that does not stop may still draw on the surface: both stay as they are.
    if (!stopRenderThread(renderThreadHandle, boundMs))
        return false;
    CloseHandle(renderThreadHandle);
    renderThreadHandle = nullptr;
    releaseInterface(pictureSurface);
    if (TargetRect.right <= TargetRect.left || TargetRect.bottom <= TargetRect.top ||
        !createPictureSurface())
        return false;
    startRendering();
    return renderThreadHandle != nullptr;
}

void releaseDisplay() {
    if (!directDraw)
        return;
    releaseInterface(primarySurface);
    releaseInterface(pictureSurface);
    releaseInterface(directDraw);
}
