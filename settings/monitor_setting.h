// "Pictures on every monitor": whether the monitors besides the primary show pictures in a
// full-screen run. The settings file keeps its layout, so the choice lives in the registry
// beside "Install_Dir" as a DWORD, 1 for on and 0 for off.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr char everyMonitorValueName[] = "PicturesOnEveryMonitor";
// REG_DWORD, as the registry numbers its value types.
constexpr std::uint32_t everyMonitorValueType = 4;

// The setting from what the registry holds: on unless a DWORD of exactly 0 is there. A value
// that is missing, of another type or size, or any other number counts as never set.
bool picturesOnEveryMonitorFrom(bool present, std::uint32_t type, const std::uint8_t* data,
                                std::size_t size);
