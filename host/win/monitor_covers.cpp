#include "host/win/monitor_covers.h"

#include "engine/win/renderer.h"
#include "engine/win/test_seams.h"
#include "engine/win/window_canvas.h"
#include "host/monitor_layout.h"
#include "host/win/saver_window.h"

#include <windowsx.h>

namespace {

BOOL CALLBACK noteMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM context) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (!GetMonitorInfoA(monitor, &info))
        return TRUE;
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<MonitorEntry>*>(context)->push_back(
        {{r.left, r.top, r.right, r.bottom}, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
    return TRUE;
}

HWND saverOf(HWND cover) {
    return reinterpret_cast<HWND>(GetWindowLongPtrA(cover, GWLP_USERDATA));
}

// Pointer messages carry client coordinates: the saver gets them in its own, so that a
// drift is measured from one reference whichever screen the pointer is on.
LRESULT forwardPointer(HWND cover, UINT message, WPARAM wParam, LPARAM lParam) {
    HWND saver = saverOf(cover);
    POINT at = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    MapWindowPoints(cover, saver, &at, 1);
    return SendMessageA(saver, message, wParam, MAKELPARAM(at.x, at.y));
}

LRESULT CALLBACK coverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_NCCREATE:
        SetWindowLongPtrA(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_SETCURSOR:
        SetCursor(nullptr);
        return TRUE;
    // The keyboard focus stays with the saver window; the click itself still counts.
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
    case WM_SYSCOMMAND:
        return SendMessageA(saverOf(window), message, wParam, lParam);
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return forwardPointer(window, message, wParam, lParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

bool registerCoverClass(HINSTANCE instance) {
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = coverWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = coverClassName;
    return RegisterClassExA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

} // namespace

MonitorCovers::MonitorCovers(HINSTANCE instance, HWND saver, RendererSet* shows)
    : instance_(instance), saver_(saver), shows_(shows) {
    cover(currentMonitors());
}

std::vector<MonitorEntry> MonitorCovers::currentMonitors() {
    std::vector<MonitorEntry> monitors;
    EnumDisplayMonitors(nullptr, nullptr, noteMonitor, reinterpret_cast<LPARAM>(&monitors));
    // The test build can be made to see every other look find the other monitors half as
    // wide, as if one had been set to another resolution.
    if (testSeamArmed("monitor-layout-flip") && looks_++ % 2 == 1) {
        for (MonitorEntry& monitor : monitors) {
            if (!monitor.primary)
                monitor.rect.right -= (monitor.rect.right - monitor.rect.left) / 2;
        }
    }
    return monitors;
}

void MonitorCovers::refresh() {
    std::vector<MonitorEntry> monitors = currentMonitors();
    if (sameLayout(layout_, monitors))
        return;
    // A show draws on its window until its thread has ended.
    if (shows_)
        shows_->removeSecondaries();
    windows_.clear();
    cover(monitors);
}

void MonitorCovers::cover(const std::vector<MonitorEntry>& monitors) {
    layout_ = monitors;
    // A minimised saver window is ending: a mode put back then needs no new covers.
    if (!saver_ || !IsWindow(saver_) || IsIconic(saver_) || !registerCoverClass(instance_))
        return;
    const std::vector<MonitorRect> rects = coverRects(monitors);
    const auto count = static_cast<std::uint32_t>(rects.size() + 1);
    for (const MonitorRect& r : rects) {
        // A tool window stays out of the task bar and the task switcher.
        ScopedWindow window(CreateWindowExA(
            WS_EX_TOPMOST | WS_EX_TOOLWINDOW, coverClassName, saverWindowTitle, WS_POPUP, r.left,
            r.top, r.right - r.left, r.bottom - r.top, nullptr, nullptr, instance_, saver_));
        if (!window)
            continue;
        // Shown without taking the activation, so that keys keep going to the saver
        // window; placed below it.
        SetWindowPos(window.get(), saver_, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
        windows_.push_back(std::move(window));
        if (shows_)
            startShow(windows_.back().get(), r, static_cast<std::uint32_t>(windows_.size()), count);
    }
}

// Screen k starts k pictures on from where the primary's show stands now.
void MonitorCovers::startShow(HWND window, const MonitorRect& monitor, std::uint32_t index,
                              std::uint32_t count) {
    Renderer* renderer = shows_->add();
    if (!renderer)
        return;
    {
        RenderHold hold(shows_->primary());
        const char* shown = shows_->primary().rememberedPicture();
        renderer->remember(shown, shown[0] == '\0', shows_->primary().skippedPictures());
    }
    const TargetGeometry canvas = monitorCanvas(monitor);
    renderer->start(windowCanvasMaker(window, canvas.right, canvas.bottom, {index, count}),
                    THREAD_PRIORITY_IDLE);
}
