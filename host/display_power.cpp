#include "host/display_power.h"

#include <cstring>

namespace {
constexpr std::uint32_t displayOff = 0, displayOn = 1, displayDimmed = 2;
} // namespace

DisplayState displayStateFrom(DisplayPowerSetting setting, const void* data, std::size_t length) {
    std::uint32_t value = 0;
    if (setting == DisplayPowerSetting::Other || data == nullptr || length != sizeof(value))
        return DisplayState::Unknown;
    std::memcpy(&value, data, sizeof(value));
    switch (value) {
    case displayOff:
        return DisplayState::Off;
    case displayOn:
        return DisplayState::On;
    case displayDimmed:
        return setting == DisplayPowerSetting::ConsoleDisplayState ? DisplayState::Dimmed
                                                                   : DisplayState::Unknown;
    default:
        return DisplayState::Unknown;
    }
}

bool reportsConsoleDisplayState(std::uint32_t majorVersion, std::uint32_t minorVersion) {
    return majorVersion > 6 || (majorVersion == 6 && minorVersion >= 2);
}

DisplayPowerHold::Change DisplayPowerHold::onState(DisplayState state) {
    switch (state) {
    case DisplayState::Off:
        if (holding_)
            return Change::None;
        holding_ = true;
        return Change::Hold;
    case DisplayState::On:
    case DisplayState::Dimmed:
        if (!holding_)
            return Change::None;
        holding_ = false;
        return Change::Release;
    case DisplayState::Unknown:
        break;
    }
    return Change::None;
}
