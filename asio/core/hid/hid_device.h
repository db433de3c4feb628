#pragma once
// Finding and opening the device's HID interface by its USB identifiers.

#include <cstdint>

#include "asio/core/hid/hid_handles.h"

namespace veltrano::asio::hid {

// One command's connection: both handles close when it ends.
struct HidConnection {
    UniqueFile sync;
    UniqueFile overlapped;
    uint16_t inputReportLength = 0;
    uint16_t outputReportLength = 0;
};

// Interfaces looked at before the search gives up.
inline constexpr DWORD kMaxHidInterfaces = 256;

// Opens the first present HID interface whose attributes carry these
// identifiers and whose capabilities can be read. On failure the connection
// is left empty (no handles, both lengths 0); a null connection fails with
// the last error ERROR_INVALID_DATA.
bool OpenHidDevice(uint16_t vendorId, uint16_t productId, HidConnection* connection) noexcept;

}  // namespace veltrano::asio::hid
