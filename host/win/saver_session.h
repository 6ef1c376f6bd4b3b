// One run of the saver. WinMain makes it and it lives until the process ends; the saver
// window reaches it through its window data, the settings dialog through its preview host
// and the shutdown through the saver window.
#pragma once

#include "engine/reveal.h"
#include "host/display_power.h"
#include "host/shutdown_plan.h"
#include "host/win/display_power_notify.h"
#include "host/win/home_page_launch.h"
#include "engine/win/render_target.h"
#include "engine/win/settings_mailbox.h"
#include "resources/win/scoped.h"
#include "settings/win/settings_store.h"

#include <windows.h>

#include <ddraw.h>

class SaverSession {
  public:
    SaverSession(HINSTANCE module, bool fullScreen, bool inPreview);
    ~SaverSession();
    SaverSession(const SaverSession&) = delete;
    SaverSession& operator=(const SaverSession&) = delete;

    // The run mode: /s, /p, or neither for the settings dialog.
    const bool saver;
    const bool preview;
    // Where the saver's resources come from.
    HINSTANCE instance;
    HWND parent = nullptr;
    HWND window = nullptr;
    HWND dialog = nullptr;

    // The screen rectangle the saver fills and the screen position of the client origin of
    // the window it was measured from. The preview's tracker thread and the dialog move it
    // while the render thread and WM_PAINT read it, so it is copied whole under a lock.
    TargetGeometry target() const;
    void setTarget(const TargetGeometry& place);
    // `window`'s client area in screen coordinates becomes the target. False when the
    // window is gone; the target is then left as it was.
    bool measure(HWND measured);

    // The display: set up by the saver window, used by the render thread and the shutdown.
    // Released only by a failed set-up: a render thread may outlive the message loop.
    ComPtr<IDirectDraw2> directDraw;
    ComPtr<IDirectDrawSurface3> primarySurface;
    ComPtr<IDirectDrawSurface3> pictureSurface;
    DWORD chosenBitDepth = 0;
    // True once SetDisplayMode changed the mode, so that the shutdown puts it back.
    bool displayModeChanged = false;
    // DirectDraw's library, loaded at the first set-up and kept for the process's life.
    HMODULE directDrawLibrary = nullptr;
    ScopedHandle renderThread;
    // The preview's tracker thread; it ends by itself once the window is gone.
    ScopedHandle previewTracker;
    // The record, folder and remembered picture as loaded; only the render thread writes
    // the remembered picture's name once the session's threads run.
    StoredSettings stored;
    // The dialog's settings changes on their way to the render thread.
    SettingsMailbox settings;
    // What the render thread works with; rewritten only while no thread runs.
    RenderJob renderJob = {};

    // The saver window's input: where the pointer first was, and whether the full-screen
    // window was once active.
    POINT mouseReference = {0, 0};
    bool wasActive = false;

    // The preview's home-page launches, one a second at most for the whole run.
    LaunchRateLimit homePageLaunches = previewLaunchLimit();

    // The shutdown runs once, whichever message starts it.
    ShutdownOnce shutdownOnce;
    // A wallpaper that no file would take. Set by the shutdown, which runs inside the
    // window procedure, and told once the message loop has ended: a message box shown from
    // the window procedure would sit behind the topmost saver window and be closed at once
    // by the quit that follows.
    bool wallpaperNoticePending = false;

    // The full-screen window's registration for the display's power notifications, and
    // what one of them says: the render thread holds while the display is off and goes on
    // where it was once it is on or dimmed. Window thread only.
    DisplayPowerNotifications displayPower;
    void displayStateChanged(DisplayState state);

  private:
    DisplayPowerHold displayHold_;
    mutable CRITICAL_SECTION targetLock_;
    TargetGeometry target_ = {};
};
