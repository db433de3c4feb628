#pragma once
// Recognising the device from a Windows device path: USB composite-device
// paths carry "VID_vvvv", "PID_pppp" and "MI_ii" (Windows reports them in
// lower case, so the path is upper-cased first).

#include <cstdint>

#include "common/device_table.h"

namespace veltrano {

// Device paths are looked at through a 260-character buffer: at most 259
// characters of the path take part in the match.
inline constexpr int kMaxDevicePath = 260;

struct DevicePathIds {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    // The two characters after "MI_" read as hexadecimal; -1 when they are
    // not two hexadecimal digits. Informational only: no match compares it.
    int interfaceNumber = -1;
};

// Reads the identifiers from a path. False when "VID_", "PID_" or "MI_" is
// missing, or when fewer than four hexadecimal digits follow "VID_" or
// "PID_". Never reads past the terminator or past 259 characters.
bool ParseDevicePath(const char* path, DevicePathIds* ids);

// The accepted-devices entry the path belongs to, or null.
const SupportedDevice* MatchDevicePath(const char* path,
                                       const SupportedDeviceTableType& table = SupportedDeviceTable);

// The control panel's variant: does the path belong to this one pair?
bool MatchDevicePathPair(const char* path, uint16_t vendorId, uint16_t productId);

}  // namespace veltrano
