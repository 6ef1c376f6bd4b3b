#include "host/win/display_power_notify.h"

#include <cstddef>
#include <utility>

namespace {

// The two power settings, spelt out: the SDK's own definitions need a GUID library.
constexpr GUID consoleDisplayStateGuid = {
    0x6fe69556, 0x704a, 0x47a0, {0x8f, 0x24, 0xc2, 0x8d, 0x93, 0x6f, 0xda, 0x47}};
constexpr GUID monitorPowerOnGuid = {
    0x02731015, 0x4510, 0x4526, {0x99, 0xe6, 0xe5, 0xa1, 0x7e, 0xbd, 0x1a, 0xea}};

DisplayPowerSetting settingOf(const GUID& guid) {
    if (IsEqualGUID(guid, consoleDisplayStateGuid))
        return DisplayPowerSetting::ConsoleDisplayState;
    if (IsEqualGUID(guid, monitorPowerOnGuid))
        return DisplayPowerSetting::MonitorPowerOn;
    return DisplayPowerSetting::Other;
}

bool windowsReportsConsoleDisplayState() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExA(&version))
        return true;
    return reportsConsoleDisplayState(version.dwMajorVersion, version.dwMinorVersion);
}

DisplayState stateOfSetting(const POWERBROADCAST_SETTING& setting) {
    return displayStateFrom(settingOf(setting.PowerSetting), setting.Data, setting.DataLength);
}

} // namespace

DisplayPowerNotifications::DisplayPowerNotifications(HWND window) {
    const GUID& setting =
        windowsReportsConsoleDisplayState() ? consoleDisplayStateGuid : monitorPowerOnGuid;
    handle_ = RegisterPowerSettingNotification(window, &setting, DEVICE_NOTIFY_WINDOW_HANDLE);
}

DisplayPowerNotifications::~DisplayPowerNotifications() {
    if (handle_)
        UnregisterPowerSettingNotification(handle_);
}

DisplayPowerNotifications::DisplayPowerNotifications(DisplayPowerNotifications&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)) {}

DisplayPowerNotifications&
DisplayPowerNotifications::operator=(DisplayPowerNotifications&& other) noexcept {
    if (this != &other) {
        if (handle_)
            UnregisterPowerSettingNotification(handle_);
        handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
}

DisplayState displayStateOfBroadcast(WPARAM event, LPARAM data) {
    if (event != PBT_POWERSETTINGCHANGE || data == 0)
        return DisplayState::Unknown;
    return stateOfSetting(*reinterpret_cast<const POWERBROADCAST_SETTING*>(data));
}

DisplayState displayStateOfTestMessage(WPARAM consoleDisplayState) {
    // The setting's one DWORD of data runs past the one byte the struct declares.
    alignas(POWERBROADCAST_SETTING)
        BYTE buffer[offsetof(POWERBROADCAST_SETTING, Data) + sizeof(DWORD)] = {};
    static_assert(sizeof(buffer) <= sizeof(POWERBROADCAST_SETTING) + sizeof(DWORD), "");
    auto* setting = reinterpret_cast<POWERBROADCAST_SETTING*>(buffer);
    setting->PowerSetting = consoleDisplayStateGuid;
    setting->DataLength = sizeof(DWORD);
    const DWORD value = static_cast<DWORD>(consoleDisplayState);
    CopyMemory(setting->Data, &value, sizeof(value));
    return stateOfSetting(*setting);
}
