#include "engine/win/screen_canvas.h"

#include "engine/surface_heap.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/frame_pacer.h"
#include "engine/win/renderer_canvas.h"
#include "engine/win/surface_recovery.h"
#include "engine/win/test_seams.h"
#include "pictures/win/picture_loader.h"
#include "resources/win/scoped.h"

namespace {

// Test build: the process's first picture is preceded by seconds without a safe point, as a
// huge picture decoded attached would be ("render-deaf"; "deaf.log" says when it begins).
constexpr const char* deafSeam = "render-deaf";
constexpr DWORD deafStretchMs = 15000;

// A locked DirectDraw surface, unlocked on every way out.
class SurfaceLock {
  public:
    explicit SurfaceLock(IDirectDrawSurface3* surface) : surface_(surface) {
        description_.dwSize = sizeof(description_);
        locked_ =
            surface_ && SUCCEEDED(surface_->Lock(nullptr, &description_, DDLOCK_WAIT, nullptr));
    }
    ~SurfaceLock() {
        if (locked_)
            surface_->Unlock(nullptr);
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;
    explicit operator bool() const { return locked_; }
    SurfaceView view() const {
        return {static_cast<std::uint8_t*>(description_.lpSurface),
                static_cast<std::int32_t>(description_.lPitch),
                static_cast<std::int32_t>(description_.dwWidth),
                static_cast<std::int32_t>(description_.dwHeight)};
    }
    DWORD bitCount() const { return description_.ddpfPixelFormat.dwRGBBitCount; }
    // 32 bits a pixel, red, green and blue a byte each as a DIB section holds them.
    bool holdsDibPixels() const {
        const DDPIXELFORMAT& format = description_.ddpfPixelFormat;
        return (format.dwFlags & DDPF_RGB) && !(format.dwFlags & DDPF_PALETTEINDEXED8) &&
               format.dwRGBBitCount == 32 && format.dwRBitMask == 0x00FF0000 &&
               format.dwGBitMask == 0x0000FF00 && format.dwBBitMask == 0x000000FF;
    }

  private:
    IDirectDrawSurface3* surface_;
    DDSURFACEDESC description_ = {};
    bool locked_ = false;
};

// The show on the screen through DirectDraw surfaces and the display's refresh. Lives on the
// render thread for the show's life.
class ScreenCanvas : public RendererCanvas {
  public:
    ScreenCanvas(Renderer& renderer, const RenderTarget& target, HANDLE heap, std::int32_t width,
                 std::int32_t height)
        : RendererCanvas(renderer), on_(target), heap_(heap), width_(width), height_(height),
          pacer_(on_.directDraw, renderer.control(), renderer.testLogName("pace")),
          ripple_(heap_.get(), waterHeap_, on_, width, height, renderer.control()),
          recovery_(on_, renderer.control()) {
        ripple_.pacedBy(&pacer_);
    }

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    std::int32_t loadPicture(const char* fileName, PictureFormat format,
                             bool cutBackground) override {
        faultIfSeamArmed("render-fault");
        faultIfDecodeSeamArmed(fileName);
        if (testSeamArmedOnce(deafSeam)) {
            appendTestLog(deafSeam, "deaf.log", "deaf");
            Sleep(deafStretchMs);
        }
        const ShelfKey key = shelfKey(fileName, cutBackground);
        if (copyFromShelf(format, key))
            return 0;
        return loadPictureToSurface(on_.picture, key.path.c_str(), format, cutBackground,
                                    decodeFence());
    }
    void pictureStarted(bool shown) override {
        recovery_.pictureStarted();
        if (shown)
            pacer_.notePicture();
    }
    RevealDraw revealStep(const RevealRequest& request, RevealProgress& progress,
                          RandomGenerator& random) override {
        if (recovery_.faultDraw())
            return RevealDraw::NoSurface;
        SurfaceLock screen(on_.screen);
        if (!screen)
            return RevealDraw::NoSurface;
        SurfaceLock picture(on_.picture);
        if (!picture)
            return RevealDraw::NoSurface; // the screen's lock is given back on the way out
        const TargetGeometry target = on_.where();
        return ::revealStep(screen.view(), screen.bitCount(), picture.view(), target,
                            request.revealMap, revealOptions(request, random), progress)
                   ? RevealDraw::Finished
                   : RevealDraw::Interrupted;
    }
    bool waitForNextRefresh() override { return pacer_.waitForNextRefresh(PacedFrame::Reveal); }
    void prepareRipple(std::uint8_t waveSize) override { ripple_.prepareRipple(waveSize); }
    void releaseRipple() override { ripple_.releaseRipple(); }
    void dropStep(RandomGenerator& random) override { ripple_.dropStep(random); }
    bool surfacesLost() override { return recovery_.lost(); }
    bool restoreSurfaces() override { return recovery_.recover(); }

  private:
    // Another screen of this size fitted the picture a cycle earlier.
    bool copyFromShelf(PictureFormat format, const ShelfKey& key) {
        SurfaceLock picture(on_.picture);
        return picture && picture.holdsDibPixels() &&
               RendererCanvas::copyFromShelf(format, key, picture.view());
    }

    // The thread's own copy: surfaces made again for a new display mode replace its own.
    RenderTarget on_;
    ScopedHeap heap_; // the render thread's private heap, for the ripple's buffers
    std::int32_t width_;
    std::int32_t height_;
    SurfaceHeap waterHeap_{windowsSurfaceHeap}; // before the ripple, which uses it
    FramePacer pacer_;
    DropRipple ripple_;
    SurfaceRecovery recovery_;
};

class ScreenCanvasMaker : public CanvasMaker {
  public:
    explicit ScreenCanvasMaker(const RenderTarget& target) : target_(target) {}
    std::unique_ptr<ShowCanvas> make(Renderer& renderer) override {
        const TargetGeometry start = target_.where();
        const std::int32_t width = start.right - start.left;
        const std::int32_t height = start.bottom - start.top;
        if (width <= 0 || height <= 0)
            return nullptr;
        ScopedHeap heap(HeapCreate(HEAP_NO_SERIALIZE, 0, 0));
        if (!heap)
            return nullptr;
        return std::make_unique<ScreenCanvas>(renderer, target_, heap.release(), width, height);
    }

  private:
    RenderTarget target_;
};

} // namespace

std::unique_ptr<CanvasMaker> screenCanvasMaker(const RenderTarget& target) {
    return std::make_unique<ScreenCanvasMaker>(target);
}
