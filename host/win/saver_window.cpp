#include "host/win/saver_window.h"

#include "host/win/display.h"
#include "host/win/display_power_notify.h"
#include "engine/win/test_seams.h"
#include "host/win/home_page_launch.h"
#include "host/win/monitor_covers.h"
#include "resources/win/scoped.h"
#include "host/win/shutdown.h"

#include <windowsx.h>

namespace {

// The pointer may drift this far (in x + y) before the saver ends.
constexpr int pointerDriftLimit = 15;
constexpr DWORD previewTrackPeriodMs = 50;
constexpr int logoSize = 100;
constexpr const char* logoResource = "LOGO";

// The session, from the window's data; null before WM_NCCREATE has stored it.
SaverSession* sessionOf(HWND window) {
    return reinterpret_cast<SaverSession*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void onNonClientCreate(HWND window, const CREATESTRUCTA& creation) {
    auto* session = static_cast<SaverSession*>(creation.lpCreateParams);
    session->window = window;
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(session));
}

// Keeps the target on the preview while its host window moves; ends with the window.
DWORD WINAPI previewTracker(void* parameter) {
    SaverSession& session = *static_cast<SaverSession*>(parameter);
    do {
        Sleep(previewTrackPeriodMs);
    } while (session.measure(session.window));
    return 0;
}

LRESULT onCreate(SaverSession& session, HWND window) {
    session.mouseReference = {0, 0};
    if (session.saver)
        session.displayPower = DisplayPowerNotifications(window);
    if (session.preview) {
        // The tracker ends by itself once the window is gone; the session waits for that
        // before it goes.
        session.previewTracker.reset(
            CreateThread(nullptr, 0, previewTracker, &session, 0, nullptr));
    }
    return 0;
}

void paintPreview(const SaverSession& session, HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (session.preview && dc) {
        const TargetGeometry target = session.target();
        ScopedBitmap logo(LoadBitmapA(session.instance, logoResource));
        ScopedMemoryDC memory(CreateCompatibleDC(dc));
        if (logo && memory) {
            ScopedSelect selected(memory.get(), logo.get());
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchBlt(dc, 0, 0, target.right - target.originX, target.bottom - target.originY,
                       memory.get(), 0, 0, logoSize, logoSize, SRCCOPY);
        }
    }
    EndPaint(window, &paint);
}

void onSetCursor(const SaverSession& session) {
    SetCursor(session.saver ? nullptr : LoadCursorA(nullptr, IDC_ARROW));
}

void onSystemCommand(const SaverSession& session, HWND window, WPARAM command) {
    if (session.preview)
        return;
    switch (command) {
    case SC_CLOSE:
    case SC_NEXTWINDOW:
    case SC_PREVWINDOW:
    case SC_SCREENSAVE:
        endSaver(window);
        break;
    default: // everything else is swallowed
        break;
    }
}

void onMouseMove(SaverSession& session, HWND window, int x, int y) {
    if (!session.saver)
        return;
    POINT& reference = session.mouseReference;
    if (reference.x + reference.y == 0)
        reference = {x, y};
    int drift = (reference.x + reference.y) - (x + y);
    if (drift > pointerDriftLimit || drift < -pointerDriftLimit)
        endSaver(window);
}

void onLeftButtonUp(SaverSession& session, HWND window) {
    if (session.preview)
        openHomePageFromPreview(session.homePageLaunches);
    else if (session.saver)
        endSaver(window);
}

// Another program taking the foreground ends a full-screen run, as a key would. The window's
// user data notes that it has once been active: losing the activation before that (while
// the run starts) is not the user's doing.
void onActivateApp(SaverSession& session, HWND window, bool active) {
    if (!session.saver)
        return;
    if (active) {
        session.wasActive = true;
        return;
    }
    if (session.wasActive)
        endSaver(window);
}

// The covers of the other monitors belong to the message loop, which makes them anew.
void onDisplayChange(const SaverSession& session) {
    if (session.saver)
        PostThreadMessageA(GetCurrentThreadId(), monitorsChangedMessage, 0, 0);
}

} // namespace

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE)
        onNonClientCreate(window, *reinterpret_cast<const CREATESTRUCTA*>(lParam));
    SaverSession* session = sessionOf(window);
    if (!session)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (message) {
    case WM_CREATE:
        return onCreate(*session, window);
    case WM_DESTROY:
        endSaver(window);
        return 0;
    case WM_PAINT:
        paintPreview(*session, window);
        return 1;
    case WM_SETCURSOR:
        onSetCursor(*session);
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        endSaver(window);
        return 0;
    case WM_SYSCOMMAND:
        onSystemCommand(*session, window, wParam);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(*session, window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return 0;
    case WM_LBUTTONUP:
        onLeftButtonUp(*session, window);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        endSaver(window);
        return 0;
    case WM_ACTIVATEAPP:
        onActivateApp(*session, window, wParam != FALSE);
        return 0;
    case WM_DISPLAYCHANGE:
        onDisplayChange(*session);
        return 0;
    case WM_POWERBROADCAST:
        session->displayStateChanged(displayStateOfBroadcast(wParam, lParam));
        return TRUE;
    case displayPowerTestMessage:
        if (testSeamArmed("display-power"))
            session->displayStateChanged(displayStateOfTestMessage(wParam));
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool registerSaverClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = saverWindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = saverClassName;
    return RegisterClassExA(&windowClass) != 0;
}

HWND createSaverWindow(SaverSession& session, HINSTANCE instance, int showCommand) {
    DWORD style = (session.saver ? WS_POPUP : WS_CHILD) | WS_VISIBLE;
    const TargetGeometry target = session.target();
    HWND window = CreateWindowExA(WS_EX_TOPMOST, saverClassName, saverWindowTitle, style, 0, 0,
                                  target.right - target.originX, target.bottom - target.originY,
                                  session.parent, nullptr, instance, &session);
    if (!window)
        return nullptr;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (session.preview)
        return window;
    SetFocus(window);
    return setupDisplay(session) ? window : nullptr;
}
