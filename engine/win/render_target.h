// What a DirectDraw canvas draws with and on. The host fills it before the render thread
// starts and keeps every object it names alive until the thread has ended.
#pragma once

#include "engine/reveal.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <ddraw.h>

// Where a target lies on the screen now. A preview moves with its dialog while the render
// thread draws (the preview's tracker and the dialog write it; the thread and WM_PAINT read
// it), so it is copied whole under a lock.
class TargetPlace {
  public:
    TargetPlace() = default;
    TargetPlace(const TargetPlace&) = delete;
    TargetPlace& operator=(const TargetPlace&) = delete;

    TargetGeometry get() const {
        CriticalSectionLock locked(lock_);
        return place_;
    }
    void set(const TargetGeometry& place) {
        CriticalSectionLock locked(lock_);
        place_ = place;
    }
    // `window`'s client area in screen coordinates becomes the place. False when the window
    // is gone; the place is then left as it was.
    bool measure(HWND window) {
        RECT client;
        POINT origin = {0, 0};
        if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin))
            return false;
        set({client.left + origin.x, client.top + origin.y, client.right + origin.x,
             client.bottom + origin.y, origin.x, origin.y});
        return true;
    }

  private:
    mutable CriticalSection lock_;
    TargetGeometry place_ = {};
};

struct RenderTarget {
    IDirectDraw2* directDraw;
    IDirectDrawSurface3* screen;  // the primary surface
    IDirectDrawSurface3* picture; // off screen, of the target's size
    // Asked at every draw: a preview moves while the thread runs.
    const TargetPlace* place;
    // The saver's window: a show that cannot go on asks it to close.
    HWND window = nullptr;

    TargetGeometry where() const { return place->get(); }
};
