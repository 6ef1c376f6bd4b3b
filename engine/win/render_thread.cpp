#include "engine/win/render_thread.h"

#include "engine/picture_show.h"
#include "engine/random.h"
#include "engine/reveal.h"
#include "engine/surface_heap.h"
#include "engine/win/settings_mailbox.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/frame_pacer.h"
#include "engine/win/images_folder_listing.h"
#include "engine/win/render_control.h"
#include "engine/win/render_target.h"
#include "engine/win/surface_recovery.h"
#include "engine/win/test_seams.h"
#include "pictures/win/picture_loader.h"
#include "resources/win/scoped.h"

#include <string>

namespace {

struct HeapTraits : PlainTraits<HANDLE, nullptr> {
    static void close(HANDLE h) { HeapDestroy(h); }
};
// The render thread's private heap, for the ripple's buffers.
using ScopedHeap = Scoped<HeapTraits>;

// The render thread reads and decodes each picture detached.
constexpr DecodeFence renderDecodeFence{renderDetach, renderAttach};

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

  private:
    IDirectDrawSurface3* surface_;
    DDSURFACEDESC description_ = {};
    bool locked_ = false;
};

// Tells waiting holds that the thread is gone, however it ends.
struct EndNotice {
    EndNotice() = default;
    ~EndNotice() { renderThreadEnded(); }
    EndNotice(const EndNotice&) = delete;
    EndNotice& operator=(const EndNotice&) = delete;
};

std::uint32_t seedFromClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return static_cast<std::uint32_t>(now.wDay + now.wHour + now.wMinute + now.wSecond);
}

// The show on the screen: DirectDraw surfaces, the display's refresh, and the render
// control's safe points. Lives on the render thread's stack for the thread's life.
class ScreenCanvas : public ShowCanvas {
  public:
    ScreenCanvas(const RenderJob& job, HANDLE heap, std::int32_t width, std::int32_t height)
        : job_(job), on_(job.target), width_(width), height_(height), folder_(job.fullFolder),
          walk_(folder_), pacer_(on_.directDraw), ripple_(heap, waterHeap_, on_, width, height),
          recovery_(on_.screen, on_.picture) {
        ripple_.pacedBy(&pacer_);
    }

    std::int32_t width() const override { return width_; }
    std::int32_t height() const override { return height_; }
    bool checkpoint() override { return renderCheckpoint(); }
    bool takeSettingsChange(SettingsChange& change) override { return job_.settings->take(change); }
    FolderListing& listing() override { return walk_; }
    void useImagesFolder(const std::string& folder) override { folder_.useFolder(folder); }
    std::int32_t loadPicture(const char* fileName, bool cutBackground) override {
        faultIfSeamArmed("render-fault");
        return loadPictureToSurface(on_.picture, folder_.pathOf(fileName).c_str(), cutBackground,
                                    renderDecodeFence);
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
        const RevealOptions options = {request.cutBackground, request.scatterCount,
                                       request.channelMap,    request.psychedeliaLevel,
                                       renderShouldPause,     &random};
        return ::revealStep(screen.view(), screen.bitCount(), picture.view(), target,
                            request.revealMap, options, progress)
                   ? RevealDraw::Finished
                   : RevealDraw::Interrupted;
    }
    bool waitForNextRefresh() override { return pacer_.waitForNextRefresh(PacedFrame::Reveal); }
    bool sleep(std::uint32_t ms) override { return renderSleep(ms); }
    void prepareRipple(std::uint8_t waveSize) override { ripple_.prepareRipple(waveSize); }
    void releaseRipple() override { ripple_.releaseRipple(); }
    void dropStep(RandomGenerator& random) override { ripple_.dropStep(random); }
    bool surfacesLost() override { return recovery_.lost(); }
    bool restoreSurfaces() override { return recovery_.recover(); }

  private:
    const RenderJob& job_;
    const RenderTarget& on_;
    std::int32_t width_;
    std::int32_t height_;
    SurfaceHeap waterHeap_{windowsSurfaceHeap}; // before the ripple, which uses it
    ImagesFolderListing folder_;
    DetachedListing walk_;
    FramePacer pacer_;
    DropRipple ripple_;
    SurfaceRecovery recovery_;
};

void runShow(const RenderJob& job) {
    ScopedHeap heap(HeapCreate(HEAP_NO_SERIALIZE, 0, 0));
    if (!heap)
        return;
    ScopedComApartment com; // for the picture decoder, on this thread only

    const TargetGeometry start = job.target.where();
    const std::int32_t width = start.right - start.left;
    const std::int32_t height = start.bottom - start.top;
    if (width <= 0 || height <= 0)
        return;
    ScreenCanvas canvas(job, heap.get(), width, height);
    PictureShow show(canvas, job.settings->latest(),
                     {job.lastPictureName, job.lastPictureSearchDone}, seedFromClock());
    show.run();
}

} // namespace

DWORD WINAPI runRenderThread(void* parameter) {
    EndNotice endNotice;
    try {
        runShow(*static_cast<const RenderJob*>(parameter));
    } catch (...) {
        // Out of memory for a folder name or a settings copy: the show ends, the screen
        // keeps its frame.
    }
    return 0;
}
