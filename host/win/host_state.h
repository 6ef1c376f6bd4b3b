// Process-wide values of the saver host: the run mode, where the saver draws, and the
// windows it lives in.
#pragma once

#include <windows.h>

#include <cstdint>

struct TargetRectangle {
    std::int32_t left, top, right, bottom;
};
struct TargetPoint {
    std::int32_t x, y;
};

extern bool saverFlag;
extern bool previewFlag;
// The screen rectangle the saver fills, and the screen position of the client origin of the
// window it was measured from.
extern TargetRectangle TargetRect;
extern TargetPoint TargetOrigin;
extern HINSTANCE moduleInstance;
extern HWND parentWindow;
extern HWND saverWindow;
extern HWND settingsDialog;

// Client rectangle of `window` in screen coordinates into TargetRect, its client origin into
// TargetOrigin. False when the window is gone; the values are then left as they were.
bool measureWindow(HWND window);
