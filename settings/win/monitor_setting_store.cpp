#include "settings/win/monitor_setting_store.h"

#include "resources/win/scoped.h"
#include "settings/monitor_setting.h"
#include "settings/settings_record.h"

#include <windows.h>

#include <cstdint>

bool readPicturesOnEveryMonitor() {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsRegistryKey, 0, KEY_QUERY_VALUE, &opened) !=
        ERROR_SUCCESS)
        return picturesOnEveryMonitorFrom(false, 0, nullptr, 0);
    ScopedRegKey key(opened);
    // Room for more than a DWORD, so that a longer value is seen as one and refused.
    std::uint8_t data[8] = {};
    DWORD type = 0;
    DWORD size = sizeof(data);
    const bool present = RegQueryValueExA(key.get(), everyMonitorValueName, nullptr, &type, data,
                                          &size) == ERROR_SUCCESS;
    return picturesOnEveryMonitorFrom(present, type, data, present ? size : 0);
}

bool writePicturesOnEveryMonitor(bool on) {
    // Setup makes the key; a saver never makes one of its own.
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, settingsRegistryKey, 0, KEY_SET_VALUE, &opened) !=
        ERROR_SUCCESS)
        return false;
    ScopedRegKey key(opened);
    const DWORD value = on ? 1 : 0;
    return RegSetValueExA(key.get(), everyMonitorValueName, 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&value), sizeof(value)) == ERROR_SUCCESS;
}
