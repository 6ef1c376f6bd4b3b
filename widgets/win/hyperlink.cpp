#include "widgets/win/hyperlink.h"

#include "resources/win/scoped.h"

#include <shellapi.h>

#include <string>

const char hyperLinkClassName[] = "STATIC_HYPER";

namespace {

// The window's extra bytes: whether the window owns the link object in its user data.
constexpr int ownsLinkSlot = 0;
constexpr LONG ownsLink = 1;
// The creation parameter of a link that owns its object; never read through.
constexpr char ownedLinkTag = 0;

constexpr COLORREF linkColour = RGB(0, 0, 200);
constexpr const char* fallbackCursorFile = "\\winhlp32.exe";
constexpr WORD fallbackCursorId = 106;
// Results up to this value are the shell's error codes.
constexpr INT_PTR lastShellError = 32;

HyperLink* linkOf(HWND window) {
    return reinterpret_cast<HyperLink*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

HCURSOR cursorOf(HWND window) {
    return reinterpret_cast<HCURSOR>(GetClassLongPtrA(window, GCLP_HCURSOR));
}

// A link made by createOwnedHyperLink gets its object here, with the window's text, and
// keeps it until the window goes.
LRESULT onNcCreate(HWND window, WPARAM wParam, LPARAM lParam) {
    const auto* creation = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    if (creation && creation->lpCreateParams == &ownedLinkTag) {
        HyperLink* link = nullptr;
        try {
            link = new HyperLink(creation->lpszName ? creation->lpszName : "");
        } catch (...) {
            return FALSE; // no memory: the window is not made
        }
        SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(link));
        SetWindowLongA(window, ownsLinkSlot, ownsLink);
    }
    return DefWindowProcA(window, WM_NCCREATE, wParam, lParam);
}

LRESULT onNcDestroy(HWND window, WPARAM wParam, LPARAM lParam) {
    if (GetWindowLongA(window, ownsLinkSlot) == ownsLink) {
        HyperLink* link = linkOf(window);
        SetWindowLongPtrA(window, GWLP_USERDATA, 0);
        SetWindowLongA(window, ownsLinkSlot, 0);
        delete link; // made without a window of its own, so it destroys none
    }
    return DefWindowProcA(window, WM_NCDESTROY, wParam, lParam);
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
    if (HCURSOR hand = cursorOf(window))
        SetCursor(hand);
    return DefWindowProcA(window, WM_SETCURSOR, wParam, lParam);
}

LRESULT onLeftButtonDown(HyperLink* link) {
    openLinkTarget(link ? link->text() : std::string());
    return 0;
}

LRESULT CALLBACK hyperLinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    HyperLink* link = linkOf(window);
    switch (message) {
    case WM_NCCREATE:
        return onNcCreate(window, wParam, lParam);
    case WM_NCDESTROY:
        return onNcDestroy(window, wParam, lParam);
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
    linkClass.cbWndExtra = sizeof(LONG);
    linkClass.lpszClassName = hyperLinkClassName;
    HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    if (!hand) {
        char windowsDir[MAX_PATH] = {};
        UINT length = GetWindowsDirectoryA(windowsDir, sizeof(windowsDir));
        if (length > 0 && length < sizeof(windowsDir)) {
            std::string helpPath = std::string(windowsDir) + fallbackCursorFile;
            cursorLibrary = LoadLibraryA(helpPath.c_str());
            if (cursorLibrary)
                hand = LoadCursorA(cursorLibrary, MAKEINTRESOURCEA(fallbackCursorId));
        }
    }
    // The class keeps the cursor, where the window procedure finds it.
    linkClass.hCursor = hand;
    RegisterClassA(&linkClass);
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

HWND createOwnedHyperLink(const RECT& rect, const char* text, HWND parent) {
    return CreateWindowExA(0, hyperLinkClassName, text ? text : "", WS_CHILD | WS_VISIBLE,
                           rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                           parent, nullptr, nullptr, const_cast<char*>(&ownedLinkTag));
}

HCURSOR hyperLinkCursor() {
    WNDCLASSA registered = {};
    return GetClassInfoA(GetModuleHandleA(nullptr), hyperLinkClassName, &registered)
               ? registered.hCursor
               : nullptr;
}

void openLinkTarget(const std::string& target) {
    HINSTANCE result =
        ShellExecuteA(nullptr, "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    if (reinterpret_cast<INT_PTR>(result) <= lastShellError)
        MessageBeep(0);
}

// A window class is registered once per process, before any link is made, and the cursor
// library it may take the hand from lives as long: process-wide by nature.
HyperLinkClass hyperLinkClass;
