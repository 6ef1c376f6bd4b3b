// The show on a monitor other than the primary: it draws into two bitmaps of the monitor's
// pixel size, the picture and what the window shows, and each step is put on the window
// with GDI. DirectDraw has one display per process (under Wine every device it lists is the
// primary), so a window is what every monitor can have.
#pragma once

#include "engine/drop_geometry.h"
#include "engine/picture_show.h"
#include "engine/reveal.h"
#include "engine/staggered_start.h"
#include "engine/surface_heap.h"
#include "engine/water_surface.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/frame_pacer.h"
#include "engine/win/renderer_canvas.h"
#include "resources/win/scoped.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>

// A 32-bit top-down DIB section in a memory context of its own.
class PixelBuffer {
  public:
    PixelBuffer() = default;
    PixelBuffer(const PixelBuffer&) = delete;
    PixelBuffer& operator=(const PixelBuffer&) = delete;
    // False, with nothing held, when the memory or the context cannot be had.
    bool make(std::int32_t width, std::int32_t height);
    void reset();
    explicit operator bool() const { return bits_ != nullptr; }
    HDC dc() const { return dc_.get(); }
    SurfaceView view() const {
        return {static_cast<std::uint8_t*>(bits_), width_ * 4, width_, height_};
    }

  private:
    ScopedBitmap bitmap_; // outlives the context it is selected into
    ScopedMemoryDC dc_;
    void* bits_ = nullptr;
    std::int32_t width_ = 0;
    std::int32_t height_ = 0;
};

// Which screen a window canvas serves, and of how many: it sets where the show starts in
// the listing and how far its picture changes lead the first screen's.
struct ScreenPlace {
    std::uint32_t index; // 1 for the first monitor after the primary
    std::uint32_t count; // every show of the run, the primary's included
};

class WindowCanvas : public RendererCanvas {
  public:
    // `window` covers the monitor and shows the canvas at its client origin; it outlives the
    // canvas. The buffers are made here: ready() says whether they could be.
    WindowCanvas(Renderer& renderer, HWND window, std::int32_t width, std::int32_t height,
                 ScreenPlace place);
    ~WindowCanvas() override;
    WindowCanvas(const WindowCanvas&) = delete;
    WindowCanvas& operator=(const WindowCanvas&) = delete;

    // Without both buffers the show cannot run, and the window stays black.
    bool ready() const { return screen_ && picture_; }

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    FolderListing& listing() override { return staggered_; }
    std::int32_t loadPicture(const char* fileName, PictureFormat format,
                             bool cutBackground) override;
    void pictureStarted(bool shown) override;
    RevealDraw revealStep(const RevealRequest& request, RevealProgress& progress,
                          RandomGenerator& random) override;
    bool waitForNextRefresh() override;
    bool sleep(std::uint32_t ms) override;
    void prepareRipple(std::uint8_t waveSize) override;
    void releaseRipple() override;
    void dropStep(RandomGenerator& random) override;
    // Bitmaps in memory are never lost.
    bool surfacesLost() override { return false; }
    bool restoreSurfaces() override { return true; }

  private:
    // Puts the part of the screen buffer within the rectangle on the window.
    void present(std::int32_t left, std::int32_t top, std::int32_t right, std::int32_t bottom);
    // The first picture shown stands still in place of its drops or its hold, once.
    std::uint32_t takeStill();
    void capturePatch(const DropPlacement& drop);

    HWND window_;
    std::int32_t width_;
    std::int32_t height_;
    std::uint32_t screenCount_;
    SaverSettings startRecord_;
    std::uint32_t stillMs_;
    bool stillPicture_ = false; // the picture on screen is the first shown
    bool anyShown_ = false;
    PixelBuffer screen_;
    PixelBuffer picture_;
    StaggeredListing staggered_;
    FramePacer pacer_;
    SurfaceHeap waterHeap_; // before the water, which uses it
    WaterSurface water_;
    DropPreset preset_ = {};
    ScopedHeap heap_;       // the render thread's private heap, for the ripple's buffers
    RippleBuffers buffers_; // bottom row first
};

// Makes a WindowCanvas for `window`, of width x height pixels; a canvas without its buffers
// is none, and the window then stays black.
std::unique_ptr<CanvasMaker> windowCanvasMaker(HWND window, std::int32_t width, std::int32_t height,
                                               ScreenPlace place);
