// The saver window's registration for the display's power notifications, and what one of
// them says. Windows 8 and later report the console display state (on, off, dimmed);
// Windows 7 only whether the monitor is powered.
#pragma once

#include "host/display_power.h"

#include <windows.h>

// The test build's stand-in for the notification: posted to the saver window with the console
// display state's value (0 off, 1 on, 2 dimmed) in wParam, it is read as the real one would be.
constexpr UINT displayPowerTestMessage = WM_APP + 7;

class DisplayPowerNotifications {
  public:
    DisplayPowerNotifications() = default;
    // Registers `window` for the display's power setting of this Windows version.
    explicit DisplayPowerNotifications(HWND window);
    ~DisplayPowerNotifications();
    DisplayPowerNotifications(DisplayPowerNotifications&& other) noexcept;
    DisplayPowerNotifications& operator=(DisplayPowerNotifications&& other) noexcept;
    DisplayPowerNotifications(const DisplayPowerNotifications&) = delete;
    DisplayPowerNotifications& operator=(const DisplayPowerNotifications&) = delete;

    explicit operator bool() const { return handle_ != nullptr; }

  private:
    HPOWERNOTIFY handle_ = nullptr;
};

// What a WM_POWERBROADCAST says about the display: Unknown unless it is a power setting
// change of one of the two settings, with data of the right size.
DisplayState displayStateOfBroadcast(WPARAM event, LPARAM data);

// The test build's stand-in message, read through the same path.
DisplayState displayStateOfTestMessage(WPARAM consoleDisplayState);
