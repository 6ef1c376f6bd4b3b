// The DirectDraw set-up the probes share: a DirectDraw object cooperating normally with a
// small hidden window, and surfaces made from it as the saver makes them.
#pragma once

#include "resources/win/scoped.h"

#include <windows.h>

#include <ddraw.h>

class ProbeDisplay {
  public:
    explicit ProbeDisplay(const char* title)
        : window_(CreateWindowA("STATIC", title, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr)) {
        ComPtr<IDirectDraw> first;
        if (FAILED(DirectDrawCreate(nullptr, first.out(), nullptr)) ||
            FAILED(first->QueryInterface(IID_IDirectDraw2, directDraw_.outVoid())) ||
            FAILED(directDraw_->SetCooperativeLevel(window_.get(), DDSCL_NORMAL)))
            directDraw_.reset();
    }

    // False when there is no display to draw on.
    explicit operator bool() const { return static_cast<bool>(directDraw_); }
    IDirectDraw2* directDraw() const { return directDraw_.get(); }

    // Empty when the surface cannot be made.
    ComPtr<IDirectDrawSurface3> createSurface(DDSURFACEDESC& description) const {
        ComPtr<IDirectDrawSurface> first;
        ComPtr<IDirectDrawSurface3> surface;
        if (SUCCEEDED(directDraw_->CreateSurface(&description, first.out(), nullptr)))
            first->QueryInterface(IID_IDirectDrawSurface3, surface.outVoid());
        return surface;
    }
    ComPtr<IDirectDrawSurface3> primarySurface() const {
        DDSURFACEDESC description = {};
        description.dwSize = sizeof(description);
        description.dwFlags = DDSD_CAPS;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        return createSurface(description);
    }
    // An off-screen surface in the screen's own format.
    ComPtr<IDirectDrawSurface3> offscreenSurface(int width, int height) const {
        DDSURFACEDESC description = {};
        description.dwSize = sizeof(description);
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        description.dwWidth = static_cast<DWORD>(width);
        description.dwHeight = static_cast<DWORD>(height);
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN;
        return createSurface(description);
    }

  private:
    ScopedWindow window_;
    ComPtr<IDirectDraw2> directDraw_;
};
