// What the display's power notifications mean for the show: while the display is off nobody
// sees the pictures, so every renderer holds where it is; a dimmed display is still seen and
// counts as on.
#pragma once

#include <cstddef>
#include <cstdint>

// The power settings the saver listens to, as the window layer tells them apart.
enum class DisplayPowerSetting { ConsoleDisplayState, MonitorPowerOn, Other };

enum class DisplayState { Off, On, Dimmed, Unknown };

// The state a notification's data tells: one 32-bit value, 0 off, 1 on and, for the console
// display state only, 2 dimmed. Data of another length or value is Unknown.
DisplayState displayStateFrom(DisplayPowerSetting setting, const void* data, std::size_t length);

// Whether Windows of this version reports the console display state (Windows 8 and later);
// Windows 7 reports only whether the monitor is powered.
bool reportsConsoleDisplayState(std::uint32_t majorVersion, std::uint32_t minorVersion);

// Follows the notifications and says when the renderers are to be held and released.
class DisplayPowerHold {
  public:
    enum class Change { None, Hold, Release };

    Change onState(DisplayState state);
    bool holding() const { return holding_; }

  private:
    bool holding_ = false;
};
