// Lost DirectDraw surfaces, and how the render thread waits them out. Surfaces are lost on
// the secure desktop, on display sleep and wake, on a mode change by another program and in
// remote sessions; once the display is back they can be restored, and the show goes on.
#pragma once

#include <windows.h>

#include <ddraw.h>

class RenderControl;

// One per render thread; its methods run on that thread only.
class SurfaceRecovery {
  public:
    // The surfaces the thread draws on; they outlive it. Its waits are safe points of
    // `control`.
    SurfaceRecovery(IDirectDrawSurface3* primary, IDirectDrawSurface3* picture,
                    RenderControl& control)
        : primary_(primary), picture_(picture), control_(control) {}
    SurfaceRecovery(const SurfaceRecovery&) = delete;
    SurfaceRecovery& operator=(const SurfaceRecovery&) = delete;

    // Noted as each picture starts (the test build loses the surfaces at the second).
    void pictureStarted() { ++picturesStarted_; }
    // True when the test build makes this draw fail as a lost surface would.
    bool faultDraw();
    // Whether the primary or the picture surface is lost now.
    bool lost() const;
    // Waits in paced steps, each a safe point for a stop or a hold, until both surfaces
    // restore. True once they have; false once a stop was requested.
    bool recover();

  private:
    bool restoreBoth();

    IDirectDrawSurface3* primary_;
    IDirectDrawSurface3* picture_;
    RenderControl& control_;
    int picturesStarted_ = 0;
    bool faultDone_ = false;
    bool faking_ = false;
    int fakedRestoreFailures_ = 0;
};
