#pragma once
// Finding the device at object creation: the first audio render filter whose
// device path names an accepted USB device and that accepts at least one
// sample width.

#include "asio/core/driver_state.h"
#include "platform/win32_headers.h"

namespace veltrano::asio::ks {

// Fills `identity` and the filter's device path (at most 259 characters).
// S_OK, or E_FAIL when no such device exists. Every filter it opens to probe
// is closed again before it returns.
HRESULT DiscoverKsDevice(DeviceIdentity& identity, char (&symbolicLink)[MAX_PATH]);

}  // namespace veltrano::asio::ks
