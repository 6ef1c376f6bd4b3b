// Checks the link control in-process: the class registered before main, the hand cursor,
// the painted text (blue, underlined, on the parent's own background), creation with and
// without text, and a click on a target the shell cannot open (the test watches for the
// beep in a relay trace), and a link whose window owns its text. Usage: probe_hyperlink;
// "key value" lines.
#include "resources/win/scoped.h"
#include "widgets/win/hyperlink.h"

#include <cstdio>
#include <cstdlib>

namespace {

constexpr COLORREF hostColour = RGB(0, 160, 0);
constexpr COLORREF linkColour = RGB(0, 0, 200);
constexpr const char* missingTarget = "C:\\no-such-folder\\no-such-file.xyz";

LRESULT CALLBACK hostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND createHost() {
    WNDCLASSA hostClass = {};
    hostClass.lpfnWndProc = hostProc;
    hostClass.hInstance = GetModuleHandleA(nullptr);
    hostClass.lpszClassName = "LinkProbeHost";
    hostClass.hbrBackground = CreateSolidBrush(hostColour);
    RegisterClassA(&hostClass);
    return CreateWindowExA(WS_EX_TOPMOST, hostClass.lpszClassName, "host", WS_POPUP | WS_VISIBLE,
                           40, 40, 300, 60, nullptr, nullptr, hostClass.hInstance, nullptr);
}

void pumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    MSG message;
    while (GetTickCount() - start < ms) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        Sleep(10);
    }
}

bool closeTo(COLORREF a, COLORREF b) {
    return std::abs(GetRValue(a) - GetRValue(b)) <= 24 &&
           std::abs(GetGValue(a) - GetGValue(b)) <= 24 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 24;
}

// Blue pixels, the longest row of them (the underline) and pixels of the host's own
// background, read back from the screen.
void reportPaint(HWND link) {
    RECT rect = {};
    GetWindowRect(link, &rect);
    ScopedWindowDC screen(nullptr);
    int blue = 0, longestRow = 0, host = 0;
    for (LONG y = rect.top; y < rect.bottom; ++y) {
        int row = 0;
        for (LONG x = rect.left; x < rect.right; ++x) {
            COLORREF pixel = GetPixel(screen.get(), x, y);
            if (closeTo(pixel, linkColour))
                ++blue, ++row;
            else if (closeTo(pixel, hostColour))
                ++host;
        }
        longestRow = row > longestRow ? row : longestRow;
    }
    std::printf("blue_pixels %d\nlongest_blue_row %d\nhost_pixels %d\narea %ld\n", blue, longestRow,
                host, (rect.right - rect.left) * (rect.bottom - rect.top));
}

} // namespace

int main() {
    WNDCLASSA found = {};
    std::printf("registered_before_main %d\n",
                GetClassInfoA(GetModuleHandleA(nullptr), hyperLinkClassName, &found) ? 1 : 0);
    std::printf("hand_cursor %d\n",
                hyperLinkCursor() && hyperLinkCursor() == LoadCursorA(nullptr, IDC_HAND) ? 1 : 0);

    HWND host = createHost();
    HyperLink link;
    RECT area = {20, 10, 280, 50};
    std::printf("created %d\n", link.create(area, missingTarget, host) ? 1 : 0);
    std::printf("knows_object %d\n",
                GetWindowLongPtrA(link.window(), GWLP_USERDATA) == reinterpret_cast<LONG_PTR>(&link)
                    ? 1
                    : 0);
    SetForegroundWindow(host);
    pumpFor(800);
    reportPaint(link.window());

    SetCursor(LoadCursorA(nullptr, IDC_ARROW));
    SendMessageA(link.window(), WM_SETCURSOR, reinterpret_cast<WPARAM>(link.window()),
                 MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    std::printf("cursor_is_hand %d\n",
                hyperLinkCursor() && GetCursor() == hyperLinkCursor() ? 1 : 0);
    std::printf("mouse_move_result %ld\n",
                static_cast<long>(SendMessageA(link.window(), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5))));

    std::fflush(stdout);
    SendMessageA(link.window(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    std::printf("clicked 1\n");

    HyperLink empty;
    std::printf("empty_created %d\n", empty.create(area, nullptr, host) ? 1 : 0);
    char text[64] = "unchanged";
    GetWindowTextA(empty.window(), text, sizeof(text));
    std::printf("empty_text [%s]\n", text);

    // A link whose window owns its object, as the settings dialog makes it.
    HWND owned = createOwnedHyperLink(area, "owned text", host);
    const auto* ownedLink =
        owned ? reinterpret_cast<const HyperLink*>(GetWindowLongPtrA(owned, GWLP_USERDATA))
              : nullptr;
    std::printf("owned_text [%s]\n", ownedLink ? ownedLink->text().c_str() : "<none>");
    DestroyWindow(owned);
    std::printf("owned_gone %d\n", owned && !IsWindow(owned) ? 1 : 0);

    HyperLink orphan;
    orphan.create(area, "kept", host);
    DestroyWindow(orphan.window());
    HWND gone =
        CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    DestroyWindow(gone);
    const bool failed = !orphan.create(area, nullptr, gone);
    std::printf("failed_create %d\nkept_text [%s]\n", failed ? 1 : 0, orphan.text().c_str());
    DestroyWindow(host);
    return 0;
}
