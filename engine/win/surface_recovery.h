// Lost DirectDraw surfaces, and how the render thread waits them out. Surfaces are lost on
// the secure desktop, on display sleep and wake, on a mode change by another program and in
// remote sessions; once the display is back they can be restored, and the show goes on.
// Surfaces made for a colour depth the display no longer has never restore: they are made
// again for the display's mode now.
#pragma once

#include "engine/win/render_target.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <ddraw.h>

class RenderControl;

// One per render thread; its methods run on that thread only.
class SurfaceRecovery {
  public:
    // `target` is the render thread's own copy of what it draws on: surfaces made again
    // replace the ones it names and are owned here, so they outlive every draw on them. Its
    // waits are safe points of `control`.
    SurfaceRecovery(RenderTarget& target, RenderControl& control);
    SurfaceRecovery(const SurfaceRecovery&) = delete;
    SurfaceRecovery& operator=(const SurfaceRecovery&) = delete;

    // Noted as each picture starts (the test build loses the surfaces at the second).
    void pictureStarted() { ++picturesStarted_; }
    // True when the test build makes this draw fail as a lost surface would.
    bool faultDraw();
    // Whether the primary or the picture surface is lost now, or was made for another
    // colour depth than the display's.
    bool lost() const;
    // Waits in paced steps, each a safe point for a stop or a hold, until both surfaces
    // restore or are made again. True once they have; false once a stop was requested, or
    // when they could not be made again for the new mode, and then a full-screen saver is
    // asked to close as a user would close it.
    bool recover();

  private:
    enum class Restore { Done, NotYet, WrongMode };
    bool depthChanged() const;
    Restore restoreBoth();
    bool makeSurfaces(IDirectDraw2* directDraw);
    bool remakeForCurrentMode();
    void askSaverToClose() const;

    RenderTarget& target_;
    RenderControl& control_;
    // Surfaces go before the DirectDraw object they were made from.
    ComPtr<IDirectDraw2> remadeDirectDraw_;
    ComPtr<IDirectDrawSurface3> remadeScreen_;
    ComPtr<IDirectDrawSurface3> remadePicture_;
    // The display's bits per pixel when the surfaces drawn on were made; 0 when unknown.
    DWORD madeAtDepth_;
    int picturesStarted_ = 0;
    bool faultDone_ = false;
    bool faking_ = false;
    int fakedRestoreFailures_ = 0;
};
