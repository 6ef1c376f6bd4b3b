// "Drop by drop": a water drop falls on the picture on screen and its ripple plays over a
// square patch, read from the screen and put back through the picture surface. Frames are
// written straight into the locked picture surface where its pixel format allows (16, 24 and
// 32 bits); a palette surface gets them through GDI, which matches their colours.
#pragma once

#include "engine/drop_geometry.h"
#include "engine/patch_pixels.h"
#include "engine/water_surface.h"
#include "engine/win/frame_pacer.h"
#include "engine/win/render_target.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <cstdint>

class RenderControl;

// Pixels in a block of a Win32 heap, given back on every way out.
class HeapPixels {
  public:
    HeapPixels() = default;
    ~HeapPixels() { reset(); }
    HeapPixels(const HeapPixels&) = delete;
    HeapPixels& operator=(const HeapPixels&) = delete;
    void allocate(HANDLE heap, SIZE_T bytes, DWORD flags) {
        reset();
        heap_ = heap;
        pixels_ = static_cast<std::uint32_t*>(HeapAlloc(heap, flags, bytes));
    }
    void reset() {
        if (pixels_)
            HeapFree(heap_, 0, pixels_);
        pixels_ = nullptr;
    }
    std::uint32_t* get() const { return pixels_; }
    explicit operator bool() const { return pixels_ != nullptr; }

  private:
    HANDLE heap_ = nullptr;
    std::uint32_t* pixels_ = nullptr;
};

// The buffers of a drop's patch, from the render heap: what lay under the drop, the frame the
// water makes of it, and the frame last put on the screen with where it went. Every other
// ripple frame repeats the one before it, and a settling ripple many more: such a frame is
// on the screen already and is left out.
class RippleBuffers {
  public:
    // Buffers for patches of side x side pixels; ready() says whether they could be had.
    void make(HANDLE heap, std::int32_t side);
    void release();
    bool ready() const { return patch_ && ripple_; }
    std::uint32_t* patch() const { return patch_.get(); }
    std::uint32_t* ripple() const { return ripple_.get(); }
    // Whether the ripple frame is the one last put at (left, top).
    bool repeatsShown(std::int32_t left, std::int32_t top) const;
    // After a frame was put at (left, top), or failed to be (`shown` false).
    void noteShown(bool shown, std::int32_t left, std::int32_t top);
    // A new drop: its first frame replaces what the screen showed.
    void forgetShown() { shownValid_ = false; }

  private:
    std::size_t bytes() const { return static_cast<std::size_t>(side_) * side_ * 4; }

    std::int32_t side_ = 0;
    HeapPixels patch_;
    HeapPixels ripple_;
    HeapPixels shown_; // null when it cannot be kept: then every frame goes out
    bool shownValid_ = false;
    std::int32_t shownLeft_ = 0;
    std::int32_t shownTop_ = 0;
};

// The ripple resources of the render thread. Buffers come from the render heap; nothing is
// allocated per drop or per frame.
class DropRipple {
  public:
    // `heap` is the render heap and `waterHeap` the water surface's, both outliving the
    // ripple; drops fall within width x height of `target`, which outlives it too and may be
    // given new surfaces between two drops; every frame is a safe point of `control`.
    DropRipple(HANDLE heap, SurfaceHeap& waterHeap, const RenderTarget& target, std::int32_t width,
               std::int32_t height, RenderControl& control);
    ~DropRipple();
    DropRipple(const DropRipple&) = delete;
    DropRipple& operator=(const DropRipple&) = delete;

    // Builds the resources for drops of `waveSize`.
    void prepareRipple(std::uint8_t waveSize);
    void releaseRipple();
    // One drop and its whole ripple, placed with `random`; returns early, between two
    // frames, on a stop request.
    void dropStep(RandomGenerator& random);
    // Frames then wait for the display's next refresh; without a pacer they follow one
    // another as fast as they are made.
    void pacedBy(FramePacer* pacer) { pacer_ = pacer; }
    // False sends every frame through GDI, as a palette surface's are; tests compare the two.
    void allowDirectFrames(bool allowed) { directAllowed_ = allowed; }
    // False puts every frame on the screen, also one that repeats the frame shown; tests
    // compare the two.
    void skipRepeatedFrames(bool skip) { skipRepeats_ = skip; }

  private:
    bool readPictureLayout();
    void capturePatch(const DropPlacement& drop);
    void drawFrame(const DropPlacement& drop);
    bool putFrameThroughGdi(const DropPlacement& drop);
    bool putFrameDirect(const DropPlacement& drop);

    HANDLE heap_;
    const RenderTarget& target_;
    RenderControl& control_;
    std::int32_t width_;
    std::int32_t height_;
    DropPreset preset_ = {};
    WaterSurface water_;
    BITMAPINFOHEADER patchHeader_ = {};
    RippleBuffers buffers_;
    ScopedMemoryDC patchDC_;
    ScopedBitmap patchBitmap_;
    FramePacer* pacer_ = nullptr;
    bool directAllowed_ = true;
    bool skipRepeats_ = true;
    bool direct_ = false; // for the drop under way
    PixelLayout pictureLayout_ = {};
    std::int32_t pictureWidth_ = 0;
    std::int32_t pictureHeight_ = 0;
};
