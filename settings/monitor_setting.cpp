#include "settings/monitor_setting.h"

bool picturesOnEveryMonitorFrom(bool present, std::uint32_t type, const std::uint8_t* data,
                                std::size_t size) {
    if (!present || type != everyMonitorValueType || size != 4 || !data)
        return true;
    const std::uint32_t value = data[0] | std::uint32_t(data[1]) << 8 |
                                std::uint32_t(data[2]) << 16 | std::uint32_t(data[3]) << 24;
    return value != 0;
}
