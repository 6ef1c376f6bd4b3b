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

void RippleBuffers::make(HANDLE heap, std::int32_t side) {
    side_ = side;
    patch_.allocate(heap, bytes(), HEAP_ZERO_MEMORY);
    ripple_.allocate(heap, bytes(), HEAP_ZERO_MEMORY);
    shown_.allocate(heap, bytes(), 0);
    shownValid_ = false;
}

void RippleBuffers::release() {
    patch_.reset();
    ripple_.reset();
    shown_.reset();
    shownValid_ = false;
}

bool RippleBuffers::repeatsShown(std::int32_t left, std::int32_t top) const {
    return shownValid_ && left == shownLeft_ && top == shownTop_ &&
           std::memcmp(shown_.get(), ripple_.get(), bytes()) == 0;
}

void RippleBuffers::noteShown(bool shown, std::int32_t left, std::int32_t top) {
    shownValid_ = shown && static_cast<bool>(shown_);
    if (!shownValid_)
        return;
    std::memcpy(shown_.get(), ripple_.get(), bytes());
    shownLeft_ = left;
    shownTop_ = top;
}

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
    buffers_.make(heap_, side);
    if (buffers_.patch()) {
        ScopedSurfaceDC screen(target_.screen);
        if (screen)
            patchBitmap_.reset(CreateDIBitmap(screen.get(), &patchHeader_, 0, buffers_.patch(),
                                              asBitmapInfo(patchHeader_), DIB_RGB_COLORS));
    }
    water_.init(side, side);
}

void DropRipple::releaseRipple() {
    buffers_.release();
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
    GetDIBits(patchDC_.get(), patchBitmap_.get(), 0, side, buffers_.patch(),
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
    SetDIBits(picture.get(), patchBitmap_.get(), 0, side, buffers_.ripple(),
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
    putPatch(buffers_.ripple(), side, clip, static_cast<std::uint8_t*>(description.lpSurface),
             static_cast<std::int32_t>(description.lPitch), pictureLayout_);
    target_.picture->Unlock(description.lpSurface);
    return true;
}

void DropRipple::drawFrame(const DropPlacement& drop) {
    // A frame already on the screen is in the picture surface too, unless the target moved.
    const TargetGeometry place = target_.where();
    if (skipRepeats_ && buffers_.repeatsShown(place.left, place.top))
        return;
    const bool put = direct_ ? putFrameDirect(drop) : putFrameThroughGdi(drop);
    RECT source = {drop.dropRect.left, drop.dropRect.top, drop.dropRect.right,
                   drop.dropRect.bottom};
    const HRESULT shown =
        target_.screen->BltFast(place.left + drop.dropRect.left, place.top + drop.dropRect.top,
                                target_.picture, &source, DDBLTFAST_WAIT);
    buffers_.noteShown(put && SUCCEEDED(shown), place.left, place.top);
}

void DropRipple::dropStep(RandomGenerator& random) {
    // Without its buffers (no memory) a drop would write through nothing: leave it out.
    if (!buffers_.ready() || !patchDC_ || !water_.ready() || !target_.screen || !target_.picture)
        return;
    DropPlacement drop;
    if (!dropOnStillWater(water_, preset_, width_, height_, drop, random))
        return;
    capturePatch(drop);
    direct_ = directAllowed_ && readPictureLayout();
    buffers_.forgetShown();

    ScopedPageLock pageLock(target_.picture);
    const std::int32_t frames = framesPerDrop(preset_);
    for (std::int32_t frame = 0; frame < frames; ++frame) {
        if (!control_.checkpoint())
            return;
        water_.advance(buffers_.patch(), buffers_.ripple());
        drawFrame(drop);
        if (pacer_ && !pacer_->waitForNextRefresh(PacedFrame::Ripple))
            return;
    }
}
