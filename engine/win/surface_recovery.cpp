#include "engine/win/surface_recovery.h"

#include "engine/win/render_control.h"
#include "engine/win/test_seams.h"

namespace {

// Restores are tried this often while the display is away: rare enough to cost nothing,
// soon enough that the show is back within a blink of the display.
constexpr DWORD restoreStepMs = 250;

// Test build: the surfaces are lost as the second picture starts and restore at the fourth
// try ("surface-loss"), or never ("surface-loss-stays").
constexpr const char* lossSeam = "surface-loss";
constexpr const char* lastingLossSeam = "surface-loss-stays";
constexpr int lossAtPicture = 2;
constexpr int failedRestoresOfLoss = 3;

bool isLost(IDirectDrawSurface3* surface) {
    return surface && surface->IsLost() == DDERR_SURFACELOST;
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

bool SurfaceRecovery::lost() const {
    return faking_ || isLost(primary_) || isLost(picture_);
}

bool SurfaceRecovery::restoreBoth() {
    if (faking_) {
        if (fakedRestoreFailures_ < 0)
            return false;
        if (fakedRestoreFailures_ > 0) {
            --fakedRestoreFailures_;
            return false;
        }
        faking_ = false;
    }
    // Restore gives a surface its memory back; on a surface that is not lost it does nothing.
    const HRESULT primary = primary_ ? primary_->Restore() : DDERR_SURFACELOST;
    const HRESULT picture = picture_ ? picture_->Restore() : DDERR_SURFACELOST;
    return SUCCEEDED(primary) && SUCCEEDED(picture);
}

bool SurfaceRecovery::recover() {
    for (;;) {
        if (!control_.sleep(restoreStepMs))
            return false;
        if (restoreBoth())
            return true;
    }
}
