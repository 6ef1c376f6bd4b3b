#include "host/display_power.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

DisplayState stateOf(DisplayPowerSetting setting, std::uint32_t value) {
    return displayStateFrom(setting, &value, sizeof(value));
}

} // namespace

TEST(DisplayPower, NotificationDataIsReadOnlyWhenItIsOneKnownValue) {
    const auto console = DisplayPowerSetting::ConsoleDisplayState;
    const auto monitor = DisplayPowerSetting::MonitorPowerOn;
    EXPECT_EQ(stateOf(console, 0), DisplayState::Off);
    EXPECT_EQ(stateOf(console, 1), DisplayState::On);
    EXPECT_EQ(stateOf(console, 2), DisplayState::Dimmed);
    EXPECT_EQ(stateOf(monitor, 0), DisplayState::Off);
    EXPECT_EQ(stateOf(monitor, 1), DisplayState::On);
    EXPECT_EQ(stateOf(monitor, 2), DisplayState::Unknown) << "the monitor setting knows no dim";
    EXPECT_EQ(stateOf(console, 3), DisplayState::Unknown);
    EXPECT_EQ(stateOf(DisplayPowerSetting::Other, 0), DisplayState::Unknown);
    const std::uint8_t shortData[2] = {0, 0};
    EXPECT_EQ(displayStateFrom(console, shortData, sizeof(shortData)), DisplayState::Unknown);
    const std::uint8_t longData[8] = {};
    EXPECT_EQ(displayStateFrom(console, longData, sizeof(longData)), DisplayState::Unknown);
    EXPECT_EQ(displayStateFrom(console, nullptr, 4), DisplayState::Unknown);

    EXPECT_FALSE(reportsConsoleDisplayState(6, 1)) << "Windows 7";
    EXPECT_TRUE(reportsConsoleDisplayState(6, 2)) << "Windows 8";
    EXPECT_TRUE(reportsConsoleDisplayState(10, 0));
}

TEST(DisplayPower, OffHoldsOnceAndOnOrDimmedReleasesOnce) {
    using Change = DisplayPowerHold::Change;
    DisplayPowerHold power;
    EXPECT_EQ(power.onState(DisplayState::On), Change::None) << "nothing held at the start";
    EXPECT_EQ(power.onState(DisplayState::Dimmed), Change::None);
    EXPECT_EQ(power.onState(DisplayState::Off), Change::Hold);
    EXPECT_EQ(power.onState(DisplayState::Off), Change::None) << "a second off holds no more";
    EXPECT_EQ(power.onState(DisplayState::Unknown), Change::None);
    EXPECT_TRUE(power.holding());
    EXPECT_EQ(power.onState(DisplayState::Dimmed), Change::Release) << "dimmed is still seen";
    EXPECT_EQ(power.onState(DisplayState::On), Change::None);
    EXPECT_EQ(power.onState(DisplayState::Off), Change::Hold);
    EXPECT_EQ(power.onState(DisplayState::On), Change::Release);
    EXPECT_FALSE(power.holding());
}
