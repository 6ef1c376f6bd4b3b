// Probe for the settings dialog made in-process from the program's own resources, for what
// another process cannot ask under Wine (a window's icon). Prints "icon <big> <small>", 1
// where the dialog has that icon of its own.
#include "settings/win/settings_dialog.h"

#include <commctrl.h>

#include <cstdio>

namespace {

bool measure(void*, HWND, PreviewRect&) {
    return false;
}
bool rendering(void*) {
    return false;
}
bool rebuild(void*, DWORD) {
    return false;
}
bool openHomePage() {
    return false;
}

} // namespace

int main() {
    InitCommonControls();
    SettingsMailbox mailbox;
    const PreviewHost host = {nullptr, measure, rendering, rebuild, openHomePage, &mailbox};
    HWND dialog = createSettingsDialog(GetModuleHandleA(nullptr), host);
    if (!dialog)
        return 2;
    const LRESULT big = SendMessageA(dialog, WM_GETICON, ICON_BIG, 0);
    const LRESULT small = SendMessageA(dialog, WM_GETICON, ICON_SMALL2, 0);
    std::printf("icon %d %d\n", big != 0 ? 1 : 0, small != 0 ? 1 : 0);
    DestroyWindow(dialog);
    return 0;
}
