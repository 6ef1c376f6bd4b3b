// The saver window: full screen (/s), inside the control panel's preview (/p) or inside the
// settings dialog's preview frame (configure). It ends the saver on the user's input.
#pragma once

#include "host/win/saver_session.h"

#include <windows.h>

constexpr const char* saverClassName = "Vellutor";
constexpr const char* saverWindowTitle = "Vellutor";

bool registerSaverClass(HINSTANCE instance);
// Creates the window of `session`, which it keeps in its window data, and, except in preview
// mode, the display and the render thread. `instance` registered the class.
HWND createSaverWindow(SaverSession& session, HINSTANCE instance, int showCommand);
LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
