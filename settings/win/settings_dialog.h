// The settings dialog "Vellutor - Settings" with the live preview inside it.
#pragma once

#include <windows.h>

// Creates the modeless dialog from the template SETUP; null when it cannot be made.
HWND createSettingsDialog(HINSTANCE instance);
