// The device context of a DirectDraw surface, for every layer that draws with GDI on one.
#pragma once

#include <windows.h>

#include <ddraw.h>

// Given back with ReleaseDC. result() holds the HRESULT of GetDC, so a caller can pass a
// failure on.
class ScopedSurfaceDC {
  public:
    explicit ScopedSurfaceDC(IDirectDrawSurface3* surface) : surface_(surface) {
        result_ = surface_ ? surface_->GetDC(&dc_) : E_FAIL;
        if (FAILED(result_))
            dc_ = nullptr;
    }
    ~ScopedSurfaceDC() {
        if (dc_)
            surface_->ReleaseDC(dc_);
    }
    ScopedSurfaceDC(const ScopedSurfaceDC&) = delete;
    ScopedSurfaceDC& operator=(const ScopedSurfaceDC&) = delete;

    HDC get() const { return dc_; }
    HRESULT result() const { return result_; }
    explicit operator bool() const { return dc_ != nullptr; }

  private:
    IDirectDrawSurface3* surface_;
    HDC dc_ = nullptr;
    HRESULT result_ = E_FAIL;
};
