#include "host/win/saver_window.h"

#include "host/win/display.h"
#include "host/win/display_power_notify.h"
#include "host/win/home_page_launch.h"
#include "host/win/monitor_covers.h"
#include "engine/win/test_seams.h"
#include "host/win/shutdown.h"
#include "resources/win/scoped.h"

#include <windowsx.h>

namespace {

constexpr DWORD previewTrackPeriodMs = 50;
constexpr int logoSize = 100;
constexpr const char* logoResource = "LOGO";

} // namespace

bool PreviewTracker::start(TargetPlace& place, HWND window) {
    stop();
    place_ = &place;
    window_ = window;
    stopEvent_.reset(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!stopEvent_)
        return false;
    thread_.reset(CreateThread(nullptr, 0, run, this, 0, nullptr));
    return static_cast<bool>(thread_);
}

void PreviewTracker::stop() {
    if (!thread_)
        return;
    SetEvent(stopEvent_.get());
    // Measuring a window sends it no message, so the thread ends within a period.
    WaitForSingleObject(thread_.get(), INFINITE);
    thread_.reset();
}

DWORD WINAPI PreviewTracker::run(void* self) {
    PreviewTracker& tracker = *static_cast<PreviewTracker*>(self);
    while (WaitForSingleObject(tracker.stopEvent_.get(), previewTrackPeriodMs) == WAIT_TIMEOUT &&
           tracker.place_->measure(tracker.window_)) {
    }
    appendTestLog(teardownLogSeam, teardownLogName, "tracker ended");
    return 0;
}

SaverWindow::SaverWindow(SaverSession& session)
    : session_(session), homePageLaunches_(previewLaunchLimit()) {}

LRESULT CALLBACK SaverWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<SaverWindow*>(
            reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        self->window_ = window;
        self->session_.setWindow(window);
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<SaverWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(window, message, wParam, lParam);
    return self->handle(message, wParam, lParam);
}

LRESULT SaverWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate();
    case WM_DESTROY:
        end();
        return 0;
    case WM_PAINT:
        onPaint();
        return 1;
    case WM_SETCURSOR:
        onSetCursor();
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        onKey();
        return 0;
    case WM_SYSCOMMAND:
        onSystemCommand(wParam);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return 0;
    case WM_LBUTTONUP:
        onLeftButtonUp();
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        onRightButton();
        return 0;
    case WM_ACTIVATEAPP:
        onActivateApp(wParam != FALSE);
        return 0;
    case WM_DISPLAYCHANGE:
        onDisplayChange();
        return 0;
    case WM_POWERBROADCAST:
        session_.displayStateChanged(displayStateOfBroadcast(wParam, lParam));
        return TRUE;
    case displayPowerTestMessage:
        if (testSeamArmed("display-power"))
            session_.displayStateChanged(displayStateOfTestMessage(wParam));
        return 0;
    default:
        return DefWindowProcA(window_, message, wParam, lParam);
    }
}

void SaverWindow::end() {
    endSaver(session_);
}

LRESULT SaverWindow::onCreate() {
    pointerDrift_ = PointerDrift();
    if (session_.saver())
        session_.watchDisplayPower(window_);
    if (session_.preview())
        tracker_.start(session_.place(), window_);
    return 0;
}

void SaverWindow::onPaint() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    if (session_.preview() && dc) {
        const TargetGeometry target = session_.target();
        ScopedBitmap logo(LoadBitmapA(session_.instance(), logoResource));
        ScopedMemoryDC memory(CreateCompatibleDC(dc));
        if (logo && memory) {
            ScopedSelect selected(memory.get(), logo.get());
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchBlt(dc, 0, 0, target.right - target.originX, target.bottom - target.originY,
                       memory.get(), 0, 0, logoSize, logoSize, SRCCOPY);
        }
    }
    EndPaint(window_, &paint);
}

void SaverWindow::onSetCursor() {
    SetCursor(session_.saver() ? nullptr : LoadCursorA(nullptr, IDC_ARROW));
}

// In the settings dialog the preview is no saver of its own: the dialog's buttons, Esc and
// close box end the run, so that a stray key never loses the user's changes.
void SaverWindow::onKey() {
    if (!session_.configure())
        end();
}

void SaverWindow::onRightButton() {
    if (!session_.configure())
        end();
}

void SaverWindow::onSystemCommand(WPARAM command) {
    if (session_.preview())
        return;
    switch (command) {
    case SC_CLOSE:
    case SC_NEXTWINDOW:
    case SC_PREVWINDOW:
    case SC_SCREENSAVE:
        end();
        break;
    default: // everything else is swallowed
        break;
    }
}

void SaverWindow::onMouseMove(int x, int y) {
    if (session_.saver() && pointerDrift_.moved(x, y))
        end();
}

void SaverWindow::onLeftButtonUp() {
    if (session_.preview())
        openHomePageFromPreview(homePageLaunches_);
    else if (session_.saver())
        end();
}

// Another program taking the foreground ends a full-screen run, as a key would. Losing the
// activation before the window was once active (while the run starts) is not the user's
// doing.
void SaverWindow::onActivateApp(bool active) {
    if (!session_.saver())
        return;
    if (active) {
        wasActive_ = true;
        return;
    }
    if (wasActive_)
        end();
}

// The covers of the other monitors belong to the message loop, which makes them anew.
void SaverWindow::onDisplayChange() {
    if (session_.saver())
        PostThreadMessageA(GetCurrentThreadId(), monitorsChangedMessage, 0, 0);
}

bool SaverWindow::registerClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = saverClassName;
    return RegisterClassExA(&windowClass) != 0;
}

HWND SaverWindow::create(HINSTANCE instance, int showCommand) {
    DWORD style = (session_.saver() ? WS_POPUP : WS_CHILD) | WS_VISIBLE;
    const TargetGeometry target = session_.target();
    HWND window = CreateWindowExA(WS_EX_TOPMOST, saverClassName, saverWindowTitle, style, 0, 0,
                                  target.right - target.originX, target.bottom - target.originY,
                                  session_.parent(), nullptr, instance, this);
    if (!window)
        return nullptr;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (session_.preview())
        return window;
    // The full-screen saver takes the keyboard; the dialog's preview leaves it to the dialog.
    if (session_.saver())
        SetFocus(window);
    return setupDisplay(session_) ? window : nullptr;
}
