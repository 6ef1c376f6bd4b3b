#include "host/win/shutdown.h"

#include "engine/win/render_control.h"
#include "host/win/display.h"
#include "host/win/host_state.h"
#include "resources/win/scoped.h"
#include "pictures/win/bitmap_writer.h"
#include "pictures/win/picture_loader.h"
#include "pictures/win/wallpaper_generator.h"
#include "settings/win/settings_store.h"

namespace {

// The render thread answers a stop between two draws or frames, well within this bound; a
// thread stuck in a decoder is left to the end of the process rather than killed mid-call.
constexpr DWORD renderStopBoundMs = 2000;

volatile LONG shutdownCount = 0;

// Set by the shutdown, which runs inside the window procedure, and taken once the message
// loop has ended: a message box shown from the window procedure would sit behind the
// topmost saver window and be closed at once by the quit that follows. Main thread only.
bool wallpaperNoticePending = false;

// The last frame of the screen becomes the desktop wallpaper when the user asked for it.
void captureFrame() {
    if (!saverSettings.wallpaperGenerator || !saverFlag || !primarySurface)
        return;
    ScopedBitmap frame;
    {
        ScopedSurfaceDC screen(primarySurface);
        if (!screen)
            return;
        ScopedMemoryDC memory(CreateCompatibleDC(screen.get()));
        int width = TargetRect.right - TargetRect.left;
        int height = TargetRect.bottom - TargetRect.top;
        frame.reset(CreateCompatibleBitmap(screen.get(), width, height));
        if (!memory || !frame)
            return;
        ScopedSelect selected(memory.get(), frame.get());
        BitBlt(memory.get(), 0, 0, width, height, screen.get(), TargetRect.left, TargetRect.top,
               SRCCOPY);
    }
    // Selected nowhere and with the surface's context given back, the frame can be written.
    if (saverSettings.wallpaperGenerator == 1 &&
        writeWallpaper(frame.get()) == WallpaperOutcome::NoWritableFile)
        wallpaperNoticePending = true;
}

void restoreDisplayMode() {
    if (saverFlag && saverSettings.videoMode != 0 && directDraw && displayModeChanged)
        directDraw->RestoreDisplayMode();
}

void stopRendering() {
    if (!renderThreadHandle)
        return;
    stopRenderThreadUnlessDetached(renderThreadHandle, renderStopBoundMs);
    CloseHandle(renderThreadHandle);
    renderThreadHandle = nullptr;
}

} // namespace

void endSaver(HWND window) {
    shutdown(window);
    PostQuitMessage(0);
}

void shutdown(HWND window) {
    if (InterlockedIncrement(&shutdownCount) > 1)
        return;
    // Parked at a safe point, the render thread holds no surface lock while the frame is
    // captured and the display mode is put back; it is stopped right after.
    if (renderThreadHandle)
        holdRender();
    captureFrame();
    restoreDisplayMode();
    stopRendering();
    writeRememberedPicture();
    ShowWindow(window, SW_MINIMIZE);
}

void showDeferredNotices() {
    if (!wallpaperNoticePending)
        return;
    wallpaperNoticePending = false;
    // The saver's windows go first, and with them whatever is still queued, the quit
    // included: a message box returns at once while a quit is pending.
    if (saverWindow)
        ShowWindow(saverWindow, SW_HIDE);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
    reportFileOpenFailed(true);
}
