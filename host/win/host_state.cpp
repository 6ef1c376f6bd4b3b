#include "host/win/host_state.h"

bool saverFlag = false;
bool previewFlag = false;
TargetRectangle TargetRect = {0, 0, 0, 0};
TargetPoint TargetOrigin = {0, 0};
HINSTANCE moduleInstance = nullptr;
HWND parentWindow = nullptr;
HWND saverWindow = nullptr;
HWND settingsDialog = nullptr;

bool measureWindow(HWND window) {
    RECT client;
    POINT origin = {0, 0};
    if (!GetClientRect(window, &client) || !ClientToScreen(window, &origin))
        return false;
    // Worked out completely before it is stored: other threads read these values.
    TargetRect = {client.left + origin.x, client.top + origin.y, client.right + origin.x,
                  client.bottom + origin.y};
    TargetOrigin = {origin.x, origin.y};
    return true;
}
