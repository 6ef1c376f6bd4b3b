#include "host/win/saver_window.h"

#include "host/win/display.h"
#include "host/win/home_page_launch.h"
#include "host/win/monitor_covers.h"
#include "host/win/host_state.h"
#include "resources/win/scoped.h"
#include "host/win/shutdown.h"

#include <windowsx.h>

namespace {

// The pointer may drift this far (in x + y) before the saver ends.
constexpr int pointerDriftLimit = 15;
constexpr DWORD previewTrackPeriodMs = 50;
constexpr int logoSize = 100;
constexpr const char* logoResource = "LOGO";

POINT mouseReference = {0, 0};

DWORD WINAPI previewTracker(void* parameter) {
    HWND window = static_cast<HWND>(parameter);
    do {
        Sleep(previewTrackPeriodMs);
    } while (measureWindow(window));
    return 0;
}

LRESULT onCreate(HWND window) {
    mouseReference = {0, 0};
    if (previewFlag) {
        // The tracker ends by itself once the window is gone; nobody waits for it.
        ScopedHandle tracker(CreateThread(nullptr, 0, previewTracker, window, 0, nullptr));
    }
    return 0;
}

void paintPreview(HWND window) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (previewFlag && dc) {
        ScopedBitmap logo(LoadBitmapA(moduleInstance, logoResource));
        ScopedMemoryDC memory(CreateCompatibleDC(dc));
        if (logo && memory) {
            ScopedSelect selected(memory.get(), logo.get());
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchBlt(dc, 0, 0, TargetRect.right - TargetOrigin.x,
                       TargetRect.bottom - TargetOrigin.y, memory.get(), 0, 0, logoSize, logoSize,
                       SRCCOPY);
        }
    }
    EndPaint(window, &paint);
}

void onSetCursor() {
    SetCursor(saverFlag ? nullptr : LoadCursorA(nullptr, IDC_ARROW));
}

void onSystemCommand(HWND window, WPARAM command) {
    if (previewFlag)
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

void onMouseMove(HWND window, int x, int y) {
    if (!saverFlag)
        return;
    if (mouseReference.x + mouseReference.y == 0)
        mouseReference = {x, y};
    int drift = (mouseReference.x + mouseReference.y) - (x + y);
    if (drift > pointerDriftLimit || drift < -pointerDriftLimit)
        endSaver(window);
}

void onLeftButtonUp(HWND window) {
    if (previewFlag)
        openHomePageFromPreview();
    else if (saverFlag)
        endSaver(window);
}

// Another program taking the foreground ends a full-screen run, as a key would. The window's
// user data notes that it has once been active: losing the activation before that (while
// the run starts) is not the user's doing.
void onActivateApp(HWND window, bool active) {
    if (!saverFlag)
        return;
    if (active) {
        SetWindowLongPtrA(window, GWLP_USERDATA, 1);
        return;
    }
    if (GetWindowLongPtrA(window, GWLP_USERDATA) != 0)
        endSaver(window);
}

// The covers of the other monitors belong to the message loop, which makes them anew.
void onDisplayChange() {
    if (saverFlag)
        PostThreadMessageA(GetCurrentThreadId(), monitorsChangedMessage, 0, 0);
}

} // namespace

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return onCreate(window);
    case WM_DESTROY:
        endSaver(window);
        return 0;
    case WM_PAINT:
        paintPreview(window);
        return 1;
    case WM_SETCURSOR:
        onSetCursor();
        return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        endSaver(window);
        return 0;
    case WM_SYSCOMMAND:
        onSystemCommand(window, wParam);
        return 0;
    case WM_MOUSEMOVE:
        onMouseMove(window, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
        return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return 0;
    case WM_LBUTTONUP:
        onLeftButtonUp(window);
        return 0;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        endSaver(window);
        return 0;
    case WM_ACTIVATEAPP:
        onActivateApp(window, wParam != FALSE);
        return 0;
    case WM_DISPLAYCHANGE:
        onDisplayChange();
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

HWND createSaverWindow(HINSTANCE instance, int showCommand) {
    moduleInstance = instance;
    DWORD style = (saverFlag ? WS_POPUP : WS_CHILD) | WS_VISIBLE;
    HWND window =
        CreateWindowExA(WS_EX_TOPMOST, saverClassName, saverWindowTitle, style, 0, 0,
                        TargetRect.right - TargetOrigin.x, TargetRect.bottom - TargetOrigin.y,
                        parentWindow, nullptr, instance, nullptr);
    if (!window)
        return nullptr;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    if (previewFlag)
        return window;
    SetFocus(window);
    return setupDisplay(window) ? window : nullptr;
}
