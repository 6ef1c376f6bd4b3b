#include "host/win/shutdown.h"

#include "host/shutdown_plan.h"

#include "resources/win/scoped.h"
#include "pictures/win/bitmap_writer.h"
#include "pictures/win/picture_loader.h"
#include "pictures/win/wallpaper_generator.h"
#include "settings/win/settings_store.h"

#include <new>

namespace {

// The render threads answer a stop between two draws or frames, well within this bound; a
// thread stuck in a decoder is left to the end of the process rather than killed mid-call.
constexpr DWORD renderStopBoundMs = 2000;
// A hold not answered within this (a thread deep in a decode) is given up on.
constexpr DWORD renderHoldBoundMs = 3000;

class WindowsShutdown : public ShutdownSteps {
  public:
    explicit WindowsShutdown(SaverSession& session) : session_(session) {}

    // Parked at safe points, the render threads hold no surface lock while the frame is
    // captured and the display mode is put back; they are stopped right after.
    void holdRender() override { session_.renderers().holdAll(renderHoldBoundMs); }

    // The last frame of the screen becomes the desktop wallpaper when the user asked for it.
    void captureFrame(bool install) override {
        const TargetGeometry target = session_.target();
        ScopedBitmap frame;
        {
            ScopedSurfaceDC screen(session_.display().primarySurface());
            if (!screen)
                return;
            ScopedMemoryDC memory(CreateCompatibleDC(screen.get()));
            int width = target.right - target.left;
            int height = target.bottom - target.top;
            frame.reset(CreateCompatibleBitmap(screen.get(), width, height));
            if (!memory || !frame)
                return;
            ScopedSelect selected(memory.get(), frame.get());
            BitBlt(memory.get(), 0, 0, width, height, screen.get(), target.left, target.top,
                   SRCCOPY);
        }
        // Selected nowhere and with the surface's context given back, the frame can be written.
        std::string failures;
        if (install && writeWallpaper(frame.get(), failures) == WallpaperOutcome::NoWritableFile)
            session_.noteWallpaperNotice(std::move(failures));
    }

    void restoreDisplayMode() override { session_.display().restoreMode(); }

    void stopRenderThread() override { session_.renderers().stopAll(renderStopBoundMs); }

    // Only the primary's show names the remembered picture.
    void writeRememberedPicture() override {
        ::writeRememberedPicture(session_.rememberedPicture());
    }

    void minimizeWindow() override { ShowWindow(session_.window(), SW_MINIMIZE); }

  private:
    SaverSession& session_;
};

// Whether the preview ends on the folder the settings file holds now, after an OK or a Cancel.
bool previewFolderSaved(SaverSession& session) {
    try {
        StoredSettings saved;
        return loadSettings(saved) &&
               saved.imagesFolder == session.renderers().primary().settings().latest().imagesFolder;
    } catch (const std::bad_alloc&) {
        return false; // the remembered picture stays as it was
    }
}

void shutdown(SaverSession& session) {
    ShutdownFacts facts;
    facts.mode = session.mode();
    facts.wallpaperGenerator = session.stored().record.wallpaperGenerator;
    facts.videoMode = session.stored().record.videoMode;
    facts.displayModeChanged = session.display().modeChanged();
    facts.hasDirectDraw = session.display().directDraw() != nullptr;
    facts.hasPrimarySurface = session.display().primarySurface() != nullptr;
    facts.hasRenderThread = session.renderers().anyThread();
    facts.previewFolderSaved = facts.mode != RunMode::Configure || previewFolderSaved(session);
    WindowsShutdown steps(session);
    runShutdown(session.shutdownOnce(), facts, steps);
}

} // namespace

void endSaver(SaverSession& session) {
    shutdown(session);
    PostQuitMessage(0);
}

void showDeferredNotices(SaverSession& session) {
    const std::string notice = session.takeWallpaperNotice();
    if (notice.empty())
        return;
    // The saver's windows go first, and with them whatever is still queued, the quit
    // included: a message box returns at once while a quit is pending.
    if (session.window())
        ShowWindow(session.window(), SW_HIDE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    reportWallpaperNotSaved(notice, true);
}
