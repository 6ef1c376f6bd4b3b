#include "engine/win/render_thread.h"

#include "engine/folder_path.h"
#include "engine/folder_walk.h"
#include "engine/random.h"
#include "engine/reveal.h"
#include "engine/surface_heap.h"
#include "engine/win/drop_ripple.h"
#include "engine/win/frame_pacer.h"
#include "engine/win/render_control.h"
#include "engine/win/render_target.h"
#include "engine/win/surface_recovery.h"
#include "engine/win/test_seams.h"
#include "pictures/win/picture_loader.h"
#include "resources/win/scoped.h"

#include <cstring>
#include <string>

volatile std::uint8_t waveSurfaceValid = 1;

namespace {

constexpr const char* scanPattern = "*.*";

// Created by the first thread start and kept for the life of the process.
HANDLE renderHeap = nullptr;

// The open scan of the images folder. The settings dialog closes it when the folder
// changes, so every use of it goes through this lock.
struct FolderScan {
    FolderScan() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    HANDLE handle = nullptr;
};

FolderScan& folderScan() {
    static FolderScan scan;
    return scan;
}

class FolderScanLock {
  public:
    FolderScanLock() { EnterCriticalSection(&folderScan().lock); }
    ~FolderScanLock() { LeaveCriticalSection(&folderScan().lock); }
    FolderScanLock(const FolderScanLock&) = delete;
    FolderScanLock& operator=(const FolderScanLock&) = delete;
};

void closeScanLocked() {
    if (folderScan().handle)
        FindClose(folderScan().handle);
    folderScan().handle = nullptr;
}

// The images folder as the folder walk sees it.
class ImagesFolderListing : public FolderListing {
  public:
    explicit ImagesFolderListing(std::string (*imagesFolder)()) : imagesFolder_(imagesFolder) {}
    bool isOpen() const override {
        FolderScanLock guard;
        return folderScan().handle != nullptr;
    }
    bool open() override {
        folder_ = imagesFolder_();
        FolderScanLock guard;
        closeScanLocked();
        if (folder_.empty())
            return false;
        HANDLE scan = FindFirstFileA(pathInFolder(folder_, scanPattern).c_str(), &entry_);
        folderScan().handle = scan == INVALID_HANDLE_VALUE ? nullptr : scan;
        return folderScan().handle != nullptr;
    }
    bool advance() override {
        FolderScanLock guard;
        return folderScan().handle && FindNextFileA(folderScan().handle, &entry_);
    }
    const char* name() const override { return entry_.cFileName; }
    void close() override {
        FolderScanLock guard;
        closeScanLocked();
    }
    // The full path of an entry of the scanned folder.
    std::string pathOf(const char* fileName) const {
        std::string joined = pathInFolder(folder_, fileName);
        char full[MAX_PATH];
        DWORD length = GetFullPathNameA(joined.c_str(), sizeof(full), full, nullptr);
        return length > 0 && length < sizeof(full) ? std::string(full, length) : joined;
    }

  private:
    std::string (*imagesFolder_)();
    std::string folder_;
    WIN32_FIND_DATAA entry_ = {};
};

// The walk's advance with its file-system call detached: on a slow share or a huge folder
// the next entry can take seconds. A stop asked for meanwhile ends the walk as if the folder
// had ended. Opening stays attached: it reads the picture folder's setting, which the dialog
// changes only under a hold.
class DetachedListing : public FolderListing {
  public:
    explicit DetachedListing(FolderListing& inner) : inner_(inner) {}
    bool isOpen() const override { return inner_.isOpen(); }
    bool open() override { return inner_.open(); }
    bool advance() override {
        renderDetach();
        const bool advanced = inner_.advance();
        return renderAttach() && advanced;
    }
    const char* name() const override { return inner_.name(); }
    void close() override { inner_.close(); }

  private:
    FolderListing& inner_;
};

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

// A block of the render heap, freed on every way out of the thread.
class RenderHeapBlock {
  public:
    explicit RenderHeapBlock(SIZE_T size)
        : block_(static_cast<std::uint8_t*>(
              HeapAlloc(renderHeap, HEAP_ZERO_MEMORY | HEAP_NO_SERIALIZE, size))) {}
    ~RenderHeapBlock() {
        if (block_)
            HeapFree(renderHeap, HEAP_NO_SERIALIZE, block_);
    }
    RenderHeapBlock(const RenderHeapBlock&) = delete;
    RenderHeapBlock& operator=(const RenderHeapBlock&) = delete;
    std::uint8_t* get() const { return block_; }

  private:
    std::uint8_t* block_;
};

// Tells waiting holds that the thread is gone, however it ends.
struct EndNotice {
    EndNotice() = default;
    ~EndNotice() { renderThreadEnded(); }
    EndNotice(const EndNotice&) = delete;
    EndNotice& operator=(const EndNotice&) = delete;
};

void seedFromClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    seedRandom(static_cast<std::uint32_t>(now.wDay + now.wHour + now.wMinute + now.wSecond));
}

enum class RevealDraw { Finished, Interrupted, NoSurface };

// One reveal step, or the rest of one a hold interrupted, on the locked surfaces.
RevealDraw revealOnSurfaces(const RenderTarget& on, const CycleState& state,
                            const RevealMapView& revealMap, const SaverSettings& settings,
                            RevealProgress& progress) {
    SurfaceLock screen(on.screen);
    if (!screen)
        return RevealDraw::NoSurface;
    SurfaceLock picture(on.picture);
    if (!picture)
        return RevealDraw::NoSurface; // the screen's lock is given back on the way out
    const TargetGeometry target = on.where();
    RevealOptions options = {state.cutBackground, state.scatterCount, state.channelMap,
                             settings.psychedeliaLevel, renderShouldPause};
    return revealStep(screen.view(), screen.bitCount(), picture.view(), target, revealMap, options,
                      progress)
               ? RevealDraw::Finished
               : RevealDraw::Interrupted;
}

} // namespace

void closeFolderScan() {
    FolderScanLock guard;
    closeScanLocked();
}

DWORD WINAPI runRenderThread(void* parameter) {
    EndNotice endNotice;
    const RenderJob& job = *static_cast<const RenderJob*>(parameter);
    const SaverSettings& settings = *job.settings;
    const RenderTarget& on = job.target;
    if (!renderHeap)
        renderHeap = HeapCreate(HEAP_NO_SERIALIZE, 0, 0);
    if (!renderHeap)
        return 0;
    useWindowsSurfaceHeap();
    ScopedComApartment com; // for the picture decoder, on this thread only
    seedFromClock();

    const TargetGeometry start = on.where();
    const std::int32_t width = start.right - start.left;
    const std::int32_t height = start.bottom - start.top;
    if (width <= 0 || height <= 0)
        return 0;
    RenderHeapBlock revealCells(static_cast<SIZE_T>(width) * static_cast<SIZE_T>(height));
    if (!revealCells.get())
        return 0;
    const RevealMapView revealMap = {revealCells.get(), width, height};

    CycleState state;
    RevealProgress revealProgress;
    state.lastPictureName = job.lastPictureName;
    state.lastPictureSearchDone = job.lastPictureSearchDone;
    ImagesFolderListing listing(job.imagesFolder);
    DetachedListing walk(listing);
    auto loadPicture = [&listing, &on](const char* fileName, bool cutBackground) -> std::int32_t {
        faultIfSeamArmed("render-fault");
        return loadPictureToSurface(on.picture, listing.pathOf(fileName).c_str(), cutBackground,
                                    renderDecodeFence);
    };

    FramePacer pacer(on.directDraw);
    DropRipple ripple(renderHeap, on, width, height);
    ripple.pacedBy(&pacer);
    ripple.prepareRipple(settings.waveSize);
    SurfaceRecovery recovery(on.screen, on.picture);

    while (renderCheckpoint()) {
        if (!waveSurfaceValid) {
            ripple.releaseRipple();
            waveSurfaceValid = 1;
            ripple.prepareRipple(settings.waveSize);
            continue;
        }
        // A picture loaded onto a lost surface would not show: the display comes back first.
        if (state.pictureStep == 0 && recovery.lost() && !recovery.recover())
            return 0;
        if (state.pictureStep == 0 && startCycle(state, walk, settings, loadPicture)) {
            std::memset(revealCells.get(), 0, static_cast<size_t>(width) * height);
            revealProgress = RevealProgress();
            recovery.pictureStarted();
            if (state.pictureStep == 0)
                pacer.notePicture();
        }
        // A hold or stop that came while the walk or a decode was detached is answered here,
        // before any surface is touched.
        if (!renderCheckpoint())
            break;

        StepAction action = stepActionFor(state.pictureStep, settings.dropPeriod);
        switch (action) {
        case StepAction::Reveal: {
            const RevealDraw drawn =
                recovery.faultDraw()
                    ? RevealDraw::NoSurface
                    : revealOnSurfaces(on, state, revealMap, settings, revealProgress);
            if (drawn == RevealDraw::NoSurface) {
                // Any failure but a lost surface ends the animation; the screen keeps its
                // frame. Lost ones are waited out, and the next picture shows.
                if (!recovery.lost() || !recovery.recover())
                    return 0;
                state.pictureStep = 0;
                continue;
            }
            // A hold ended the step early: the checkpoint parks, then the step goes on.
            if (drawn == RevealDraw::Interrupted)
                continue;
            // Each step stays on the screen for a refresh; a stop is seen by the checkpoint.
            pacer.waitForNextRefresh(PacedFrame::Reveal);
            break;
        }
        case StepAction::Hold:
            if (!renderSleep(holdMilliseconds))
                return 0;
            break;
        case StepAction::Drop:
            ripple.dropStep();
            // A blit or a device context refused during the drop: as for a reveal.
            if (recovery.lost()) {
                if (!recovery.recover())
                    return 0;
                state.pictureStep = 0;
                continue;
            }
            break;
        case StepAction::Pass:
        case StepAction::Restart:
            break;
        }
        state.pictureStep = nextPictureStep(state.pictureStep, action);
    }
    listing.close();
    return 0;
}
