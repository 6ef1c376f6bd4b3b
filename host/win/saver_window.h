// The saver window: full screen (/s), inside the control panel's preview (/p) or inside the
// settings dialog's preview frame (configure). It ends the saver on the user's input.
#pragma once

#include <windows.h>

constexpr const char* saverClassName = "Vellutor";
constexpr const char* saverWindowTitle = "Vellutor";

bool registerSaverClass(HINSTANCE instance);
// Creates the window and, except in preview mode, the display and the render thread.
HWND createSaverWindow(HINSTANCE instance, int showCommand);
LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
