#include "engine/win/drop_ripple.h"

#include "engine/win/render_control.h"
#include "resources/win/scoped.h"
#include "resources/win/surface_dc.h"

#include <cstring>

namespace {

// Surface page locks, given back on every way out of a drop.
class ScopedPageLock {
  public:
    explicit ScopedPageLock(IDirectDrawSurface3* surface) : surface_(surface) {
        if (surface_)
            surface_->PageLock(0);
    }
    ~ScopedPageLock() {
        if (surface_)
            surface_->PageUnlock(0);
    }
    ScopedPageLock(const ScopedPageLock&) = delete;
    ScopedPageLock& operator=(const ScopedPageLock&) = delete;

  private:
    IDirectDrawSurface3* surface_;
};

const BITMAPINFO* asBitmapInfo(const BITMAPINFOHEADER& header) {
    return reinterpret_cast<const BITMAPINFO*>(&header);
}

} // namespace

DropRipple::DropRipple(HANDLE heap, SurfaceHeap& waterHeap, const RenderTarget& target,
                       std::int32_t width, std::int32_t height, RenderControl& control)
    : heap_(heap), target_(target), control_(control), width_(width), height_(height),
      water_(waterHeap) {
    patchHeader_.biSize = sizeof(BITMAPINFOHEADER);
    patchHeader_.biPlanes = 1;
    patchHeader_.biBitCount = 32;
    patchHeader_.biCompression = BI_RGB;
}

DropRipple::~DropRipple() {
    releaseRipple();
}

void DropRipple::prepareRipple(std::uint8_t waveSize) {
    preset_ = dropPresetFor(waveSize);
    const std::int32_t side = patchSide(preset_);
    patchDC_.reset(CreateCompatibleDC(nullptr));
    patchHeader_.biWidth = side;
    patchHeader_.biHeight = side; // bottom-up rows
    const SIZE_T bytes = static_cast<SIZE_T>(side) * side * sizeof(std::uint32_t);
    patchPixels_.allocate(heap_, bytes, HEAP_ZERO_MEMORY);
    ripplePixels_.allocate(heap_, bytes, HEAP_ZERO_MEMORY);
    shownPixels_.allocate(heap_, bytes, 0);
    shownValid_ = false;
    if (patchPixels_) {
        ScopedSurfaceDC screen(target_.screen);
        if (screen)
            patchBitmap_.reset(CreateDIBitmap(screen.get(), &patchHeader_, 0, patchPixels_.get(),
                                              asBitmapInfo(patchHeader_), DIB_RGB_COLORS));
    }
    water_.init(side, side);
}

void DropRipple::releaseRipple() {
    patchPixels_.reset();
    ripplePixels_.reset();
    shownPixels_.reset();
    shownValid_ = false;
    patchDC_.reset();
    patchBitmap_.reset();
    water_.release();
}

void DropRipple::capturePatch(const DropPlacement& drop) {
    ScopedSurfaceDC screen(target_.screen);
    if (!screen)
        return; // the patch keeps what it held
    const std::int32_t side = patchSide(preset_);
    const TargetGeometry place = target_.where();
    {
        ScopedSelect selected(patchDC_.get(), patchBitmap_.get());
        BitBlt(patchDC_.get(), 0, 0, side, side, screen.get(), place.originX + drop.patchLeft,
               place.originY + drop.patchTop, SRCCOPY);
    }
    GetDIBits(patchDC_.get(), patchBitmap_.get(), 0, side, patchPixels_.get(),
              reinterpret_cast<BITMAPINFO*>(&patchHeader_), DIB_RGB_COLORS);
}

// The picture surface's pixel format and size, read once per drop: a display change in
// between may have given the surface another.
bool DropRipple::readPictureLayout() {
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    if (FAILED(target_.picture->GetSurfaceDesc(&description)))
        return false;
    const DDPIXELFORMAT& format = description.ddpfPixelFormat;
    if (!(format.dwFlags & DDPF_RGB) || (format.dwFlags & DDPF_PALETTEINDEXED8))
        return false;
    pictureLayout_ = {format.dwRGBBitCount, format.dwRBitMask, format.dwGBitMask,
                      format.dwBBitMask};
    pictureWidth_ = static_cast<std::int32_t>(description.dwWidth);
    pictureHeight_ = static_cast<std::int32_t>(description.dwHeight);
    return patchLayoutSupported(pictureLayout_);
}

bool DropRipple::putFrameThroughGdi(const DropPlacement& drop) {
    const std::int32_t side = patchSide(preset_);
    ScopedSurfaceDC picture(target_.picture);
    if (!picture)
        return false;
    SetDIBits(picture.get(), patchBitmap_.get(), 0, side, ripplePixels_.get(),
              asBitmapInfo(patchHeader_), DIB_RGB_COLORS);
    ScopedSelect selected(patchDC_.get(), patchBitmap_.get());
    return BitBlt(picture.get(), drop.patchLeft, drop.patchTop, side, side, patchDC_.get(), 0, 0,
                  SRCCOPY) != FALSE;
}

// The same pixels the GDI calls would leave, without a device context per frame: under Wine
// those cost several times the frame's own work.
bool DropRipple::putFrameDirect(const DropPlacement& drop) {
    const std::int32_t side = patchSide(preset_);
    const PatchClip clip =
        clipPatch(drop.patchLeft, drop.patchTop, side, pictureWidth_, pictureHeight_);
    if (clip.width <= 0 || clip.height <= 0)
        return true;
    RECT area = {drop.patchLeft + clip.left, drop.patchTop + clip.top,
                 drop.patchLeft + clip.left + clip.width, drop.patchTop + clip.top + clip.height};
    DDSURFACEDESC description = {};
    description.dwSize = sizeof(description);
    if (FAILED(target_.picture->Lock(&area, &description, DDLOCK_WAIT, nullptr)))
        return false; // as when the surface gives no device context: the frame is left out
    putPatch(ripplePixels_.get(), side, clip, static_cast<std::uint8_t*>(description.lpSurface),
             static_cast<std::int32_t>(description.lPitch), pictureLayout_);
    target_.picture->Unlock(description.lpSurface);
    return true;
}

// Every other ripple frame repeats the one before it, and a settling ripple many more; such
// a frame is on the screen and in the picture surface already, unless the target has moved
// or the last frame did not get through.
bool DropRipple::repeatsShownFrame(const TargetGeometry& place) const {
    const std::int32_t side = patchSide(preset_);
    return skipRepeats_ && shownValid_ && place.left == shownLeft_ && place.top == shownTop_ &&
           std::memcmp(shownPixels_.get(), ripplePixels_.get(),
                       static_cast<std::size_t>(side) * side * sizeof(std::uint32_t)) == 0;
}

void DropRipple::noteShownFrame(bool shown, const TargetGeometry& place) {
    const std::int32_t side = patchSide(preset_);
    shownValid_ = shown && static_cast<bool>(shownPixels_);
    if (!shownValid_)
        return;
    std::memcpy(shownPixels_.get(), ripplePixels_.get(),
                static_cast<std::size_t>(side) * side * sizeof(std::uint32_t));
    shownLeft_ = place.left;
    shownTop_ = place.top;
}

void DropRipple::drawFrame(const DropPlacement& drop) {
    const TargetGeometry place = target_.where();
    if (repeatsShownFrame(place))
        return;
    const bool put = direct_ ? putFrameDirect(drop) : putFrameThroughGdi(drop);
    RECT source = {drop.dropRect.left, drop.dropRect.top, drop.dropRect.right,
                   drop.dropRect.bottom};
    const HRESULT shown =
        target_.screen->BltFast(place.left + drop.dropRect.left, place.top + drop.dropRect.top,
                                target_.picture, &source, DDBLTFAST_WAIT);
    noteShownFrame(put && SUCCEEDED(shown), place);
}

void DropRipple::dropStep(RandomGenerator& random) {
    // Without its buffers (no memory) a drop would write through nothing: leave it out.
    if (!patchPixels_ || !ripplePixels_ || !patchDC_ || !water_.ready() || !target_.screen ||
        !target_.picture)
        return;
    DropPlacement drop;
    if (!planDrop(width_, height_, preset_.patchHalf, drop, random))
        return;
    water_.clear();
    water_.addDrop(drop.dx, drop.dy, preset_.dropRadius, preset_.dropStrength, water_.current,
                   random);
    capturePatch(drop);
    direct_ = directAllowed_ && readPictureLayout();
    shownValid_ = false; // the first frame replaces what the screen showed

    ScopedPageLock pageLock(target_.picture);
    const std::int32_t frames = framesPerDrop(preset_);
    for (std::int32_t frame = 0; frame < frames; ++frame) {
        if (!control_.checkpoint())
            return;
        water_.advance(patchPixels_.get(), ripplePixels_.get());
        drawFrame(drop);
        if (pacer_ && !pacer_->waitForNextRefresh(PacedFrame::Ripple))
            return;
    }
}
