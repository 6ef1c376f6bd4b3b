#include "host/win/shutdown.h"

#include "engine/win/render_control.h"
#include "resources/win/scoped.h"
#include "pictures/win/bitmap_writer.h"
#include "pictures/win/picture_loader.h"
#include "pictures/win/wallpaper_generator.h"
#include "settings/win/settings_store.h"

namespace {

// The render thread answers a stop between two draws or frames, well within this bound; a
// thread stuck in a decoder is left to the end of the process rather than killed mid-call.
constexpr DWORD renderStopBoundMs = 2000;

// The last frame of the screen becomes the desktop wallpaper when the user asked for it.
void captureFrame(SaverSession& session) {
    if (!session.stored.record.wallpaperGenerator || !session.saver || !session.primarySurface)
        return;
    const TargetGeometry target = session.target();
    ScopedBitmap frame;
    {
        ScopedSurfaceDC screen(session.primarySurface.get());
        if (!screen)
            return;
        ScopedMemoryDC memory(CreateCompatibleDC(screen.get()));
        int width = target.right - target.left;
        int height = target.bottom - target.top;
        frame.reset(CreateCompatibleBitmap(screen.get(), width, height));
        if (!memory || !frame)
            return;
        ScopedSelect selected(memory.get(), frame.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), target.left, target.top, SRCCOPY);
    }
    // Selected nowhere and with the surface's context given back, the frame can be written.
    if (session.stored.record.wallpaperGenerator == 1 &&
        writeWallpaper(frame.get()) == WallpaperOutcome::NoWritableFile)
        session.wallpaperNoticePending = true;
}

void restoreDisplayMode(SaverSession& session) {
    if (session.saver && session.stored.record.videoMode != 0 && session.directDraw &&
        session.displayModeChanged)
        session.directDraw->RestoreDisplayMode();
}

void stopRendering(SaverSession& session) {
    if (!session.renderThread)
        return;
    stopRenderThreadUnlessDetached(session.renderThread.get(), renderStopBoundMs);
    session.renderThread.reset();
}

} // namespace

void endSaver(HWND window) {
    shutdown(window);
    PostQuitMessage(0);
}

void shutdown(HWND window) {
    auto* session = reinterpret_cast<SaverSession*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!session || InterlockedIncrement(&session->shutdownCount) > 1)
        return;
    // Parked at a safe point, the render thread holds no surface lock while the frame is
    // captured and the display mode is put back; it is stopped right after.
    if (session->renderThread)
        holdRender();
    captureFrame(*session);
    restoreDisplayMode(*session);
    stopRendering(*session);
    writeRememberedPicture(session->stored.lastPictureName);
    ShowWindow(window, SW_MINIMIZE);
}

void showDeferredNotices(SaverSession& session) {
    if (!session.wallpaperNoticePending)
        return;
    session.wallpaperNoticePending = false;
    // The saver's windows go first, and with them whatever is still queued, the quit
    // included: a message box returns at once while a quit is pending.
    if (session.window)
        ShowWindow(session.window, SW_HIDE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    reportFileOpenFailed(true);
}
