#include "widgets/win/hyperlink.h"

#include "resources/win/scoped.h"

#include <shellapi.h>

#include <string>

const char hyperLinkClassName[] = "STATIC_HYPER";
// Loaded with the window class, which is process-wide too; the link's window procedure
// has no other place to find it.
HCURSOR handCursor = nullptr;

namespace {

constexpr COLORREF linkColour = RGB(0, 0, 200);
constexpr const char* fallbackCursorFile = "\\winhlp32.exe";
constexpr WORD fallbackCursorId = 106;
// Results up to this value are the shell's error codes.
constexpr INT_PTR lastShellError = 32;

HyperLink* linkOf(HWND window) {
    return reinterpret_cast<HyperLink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

void paintLink(HDC dc, HWND window, const HyperLink& link) {
    RECT client;
    GetClientRect(window, &client);
    LOGFONTA description = {};
    GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof(description), &description);
    description.lfUnderline = TRUE;
    // Made for this paint only; the select is undone before the font goes.
    ScopedFont font(CreateFontIndirectA(&description));
    ScopedSelect selected(dc, font.get());
    SetTextColor(dc, linkColour);
    SetBkMode(dc, TRANSPARENT);
    DrawTextA(dc, link.text().c_str(), static_cast<int>(link.text().size()), &client,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
}

LRESULT onPaint(HWND window, HyperLink* link) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    if (dc && link)
        paintLink(dc, window, *link);
    EndPaint(window, &paint);
    return 0;
}

LRESULT onSetCursor(HWND window, WPARAM wParam, LPARAM lParam) {
    if (handCursor)
        SetCursor(handCursor);
    return DefWindowProcA(window, WM_SETCURSOR, wParam, lParam);
}

LRESULT onLeftButtonDown(HyperLink* link) {
    openLinkTarget(link ? link->text() : std::string());
    return 0;
}

LRESULT CALLBACK hyperLinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HyperLink* link = linkOf(window);
    switch (message) {
    case WM_PAINT:
        return onPaint(window, link);
    case WM_SETCURSOR:
        return onSetCursor(window, wParam, lParam);
    case WM_MOUSEMOVE:
        return 0;
    case WM_LBUTTONDOWN:
        return onLeftButtonDown(link);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

HyperLinkClass::HyperLinkClass() {
    WNDCLASSA linkClass = {};
    linkClass.lpfnWndProc = hyperLinkProc;
    linkClass.cbWndExtra = 4;
    linkClass.lpszClassName = hyperLinkClassName;
    RegisterClassA(&linkClass);

    handCursor = LoadCursorA(nullptr, IDC_HAND);
    if (handCursor)
        return;
    char windowsDir[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
    if (length == 0 || length >= sizeof(windowsDir))
        return;
    std::string helpPath = std::string(windowsDir) + fallbackCursorFile;
    cursorLibrary = LoadLibraryA(helpPath.c_str());
    if (cursorLibrary)
        handCursor = LoadCursorA(cursorLibrary, MAKEINTRESOURCEA(fallbackCursorId));
}

HyperLinkClass::~HyperLinkClass() {
    if (cursorLibrary)
        FreeLibrary(cursorLibrary);
}

HyperLink::~HyperLink() {
    // Normally gone with its parent dialog already; then this simply fails.
    if (window_)
        DestroyWindow(window_);
}

bool HyperLink::create(const RECT& rect, const char* text, HWND parent) {
    if (text)
        text_ = text;
    window_ = CreateWindowExA(0, hyperLinkClassName, text_.c_str(), WS_CHILD | WS_VISIBLE,
                              rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                              parent, nullptr, nullptr, nullptr);
    if (!window_)
        return false;
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    return true;
}

void openLinkTarget(const std::string& target) {
    HINSTANCE result =
        ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= lastShellError)
        MessageBeep(0);
}

// The class first, so that it exists before any link and goes after the last one. The
// dialog's one link; a window class is registered once per process.
HyperLinkClass hyperLinkClass;
HyperLink hyperLink;
