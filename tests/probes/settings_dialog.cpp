// Probe for the settings dialog made in-process from the program's own resources, for what
// another process cannot ask under Wine (a window's icon). Prints "icon <big> <small>", 1
// where the dialog has that icon of its own.
#include "settings/win/settings_dialog.h"

#include <commctrl.h>

#include <cstdio>

namespace {

// A preview with nothing to draw on.
class NoPreview : public SettingsPreview {
  public:
    Renderer& renderer() override { return renderer_; }
    bool measure(HWND, PreviewRect&) override { return false; }
    PreviewRebuild rebuild(DWORD) override { return PreviewRebuild::Failed; }
    bool openHomePage() override { return false; }

  private:
    Renderer renderer_{0, [](const std::string&) { return std::string(); }};
};

} // namespace

int main() {
    InitCommonControls();
    NoPreview preview;
    HWND dialog = createSettingsDialog(GetModuleHandleA(nullptr), preview);
    if (!dialog)
        return 2;
    const LRESULT big = SendMessageA(dialog, WM_GETICON, ICON_BIG, 0);
    const LRESULT small = SendMessageA(dialog, WM_GETICON, ICON_SMALL2, 0);
    std::printf("icon %d %d\n", big != 0 ? 1 : 0, small != 0 ? 1 : 0);
    DestroyWindow(dialog);
    return 0;
}
