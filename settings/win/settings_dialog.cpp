#include "settings/win/settings_dialog.h"

#include "resources/resource_ids.h"

namespace {

constexpr const char* dialogTemplate = "SETUP";
constexpr const char* currentModeEntry = "current";

BOOL onInitDialog(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_VIDEO_MODE, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(currentModeEntry));
    return TRUE;
}

void onCommand(HWND dialog, int id) {
    switch (id) {
    case IDC_SETTINGS_OK:
    case IDC_SETTINGS_CANCEL:
        DestroyWindow(dialog);
        break;
    default:
        break;
    }
}

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        return onInitDialog(dialog);
    case WM_COMMAND:
        onCommand(dialog, LOWORD(wParam));
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

HWND createSettingsDialog(HINSTANCE instance) {
    return CreateDialogParamA(instance, dialogTemplate, nullptr, settingsDialogProc, 0);
}
