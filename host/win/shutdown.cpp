#include "host/win/shutdown.h"

#include "host/shutdown_plan.h"

#include "engine/win/render_control.h"
#include "resources/win/scoped.h"
#include "pictures/win/bitmap_writer.h"
#include "pictures/win/picture_loader.h"
#include "pictures/win/wallpaper_generator.h"
#include "settings/win/settings_store.h"

#include <new>

namespace {

// The render thread answers a stop between two draws or frames, well within this bound; a
// thread stuck in a decoder is left to the end of the process rather than killed mid-call.
constexpr DWORD renderStopBoundMs = 2000;

class WindowsShutdown : public ShutdownSteps {
  public:
    WindowsShutdown(SaverSession& session, HWND window) : session_(session), window_(window) {}

    // Parked at a safe point, the render thread holds no surface lock while the frame is
    // captured and the display mode is put back; it is stopped right after.
    void holdRender() override { ::holdRender(); }

    // The last frame of the screen becomes the desktop wallpaper when the user asked for it.
    void captureFrame(bool install) override {
        const TargetGeometry target = session_.target();
        ScopedBitmap frame;
        {
            ScopedSurfaceDC screen(session_.primarySurface.get());
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
            session_.wallpaperNotice = failures;
    }

    void restoreDisplayMode() override { session_.directDraw->RestoreDisplayMode(); }

    void stopRenderThread() override {
        stopRenderThreadUnlessDetached(session_.renderThread.get(), renderStopBoundMs);
        session_.renderThread.reset();
    }

    void writeRememberedPicture() override {
        ::writeRememberedPicture(session_.stored.lastPictureName);
    }

    void minimizeWindow() override { ShowWindow(window_, SW_MINIMIZE); }

  private:
    SaverSession& session_;
    HWND window_;
};

RunMode modeOf(const SaverSession& session) {
    if (session.saver)
        return RunMode::Saver;
    return session.preview ? RunMode::Preview : RunMode::Configure;
}

// Whether the preview ends on the folder the settings file holds now, after an OK or a Cancel.
bool previewFolderSaved(SaverSession& session) {
    try {
        StoredSettings saved;
        return loadSettings(saved) && saved.imagesFolder == session.settings.latest().imagesFolder;
    } catch (const std::bad_alloc&) {
        return false; // the remembered picture stays as it was
    }
}

} // namespace

void endSaver(HWND window) {
    shutdown(window);
    PostQuitMessage(0);
}

void shutdown(HWND window) {
    auto* session = reinterpret_cast<SaverSession*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!session)
        return;
    ShutdownFacts facts;
    facts.mode = modeOf(*session);
    facts.wallpaperGenerator = session->stored.record.wallpaperGenerator;
    facts.videoMode = session->stored.record.videoMode;
    facts.displayModeChanged = session->displayModeChanged;
    facts.hasDirectDraw = static_cast<bool>(session->directDraw);
    facts.hasPrimarySurface = static_cast<bool>(session->primarySurface);
    facts.hasRenderThread = static_cast<bool>(session->renderThread);
    facts.previewFolderSaved = facts.mode != RunMode::Configure || previewFolderSaved(*session);
    WindowsShutdown steps(*session, window);
    runShutdown(session->shutdownOnce, facts, steps);
}

void showDeferredNotices(SaverSession& session) {
    if (session.wallpaperNotice.empty())
        return;
    const std::string notice = std::move(session.wallpaperNotice);
    session.wallpaperNotice.clear();
    // The saver's windows go first, and with them whatever is still queued, the quit
    // included: a message box returns at once while a quit is pending.
    if (session.window)
        ShowWindow(session.window, SW_HIDE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    reportWallpaperNotSaved(notice, true);
}
