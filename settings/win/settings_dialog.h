// The settings dialog "Vellutor - Settings" with the live preview inside it.
#pragma once

#include <windows.h>

// Creates the modeless dialog from the template SETUP; null when it cannot be made.
HWND createSettingsDialog(HINSTANCE instance);

// The combo box's watcher: keeps the preview still while the list is open, and at least
// half a second. `comboBox` is the combo box's window handle.
DWORD WINAPI dropListWatcher(void* comboBox);
