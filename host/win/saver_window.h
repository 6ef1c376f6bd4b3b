// The saver window: full screen (/s), inside the control panel's preview (/p) or inside the
// settings dialog's preview frame (configure). It ends a full-screen run or a /p preview on
// the user's input; in the dialog it only shows the preview, and the dialog ends the run.
#pragma once

#include "host/launch_rate_limit.h"
#include "host/pointer_drift.h"
#include "host/win/saver_session.h"
#include "resources/win/scoped.h"

#include <windows.h>

constexpr const char* saverClassName = "Vellutor";
constexpr const char* saverWindowTitle = "Vellutor";

// Keeps a /p preview's target on its window while the control panel moves it. Told to stop
// and joined before anything it reads goes: its owner outlives it.
class PreviewTracker {
  public:
    PreviewTracker() = default;
    ~PreviewTracker() { stop(); }
    PreviewTracker(const PreviewTracker&) = delete;
    PreviewTracker& operator=(const PreviewTracker&) = delete;

    // Measures `window` into `place` every period until stopped or the window is gone.
    bool start(TargetPlace& place, HWND window);
    // Returns once the thread has ended; it never blocks on anything but its period.
    void stop();

  private:
    static DWORD WINAPI run(void* self);

    TargetPlace* place_ = nullptr;
    HWND window_ = nullptr;
    ScopedHandle stopEvent_;
    ScopedHandle thread_;
};

class SaverWindow {
  public:
    explicit SaverWindow(SaverSession& session);
    SaverWindow(const SaverWindow&) = delete;
    SaverWindow& operator=(const SaverWindow&) = delete;

    static bool registerClass(HINSTANCE instance);
    // Creates the window in the session's parent (none for /s) and, except in preview mode,
    // the display and the primary's render thread. `instance` registered the class. Null on
    // failure.
    HWND create(HINSTANCE instance, int showCommand);
    // Ends the preview's tracker; the window object must outlive nothing else after it.
    void stopTracking() { tracker_.stop(); }

  private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    LRESULT onCreate();
    void onPaint();
    void onSetCursor();
    void onKey();
    void onSystemCommand(WPARAM command);
    void onMouseMove(int x, int y);
    void onLeftButtonUp();
    void onRightButton();
    void onActivateApp(bool active);
    void onDisplayChange();
    void end();

    SaverSession& session_;
    HWND window_ = nullptr;
    // Where the pointer first was, and whether the full-screen window was once active.
    PointerDrift pointerDrift_;
    bool wasActive_ = false;
    // The preview's home-page launches, one a second at most for the whole run.
    LaunchRateLimit homePageLaunches_;
    PreviewTracker tracker_;
};
