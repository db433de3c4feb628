#pragma once
// Traits for the common owner (common/unique_resource.h) of what the device
// seam opens. They give it back through the seam, so that the virtual device
// sees every close, and live beside the seam so that both the kernel-streaming
// library and the drivers can own its handles without an include upward.

#include "common/unique_resource.h"
#include "platform/ks_device.h"
#include "platform/ks_setupdi.h"

namespace platform {

// Filters, pins and HID files. CreateFileA fails with INVALID_HANDLE_VALUE,
// which an empty owner holds as the callers expect; null is never a device
// either.
using DeviceHandleTraits =
    veltrano::ReleasedBy<HANDLE, &platform::CloseHandle, veltrano::kAllBitsSet, 0>;
using UniqueDeviceHandle = veltrano::UniqueResource<DeviceHandleTraits>;

// A device-interface set; SetupDiGetClassDevsA fails with INVALID_HANDLE_VALUE.
using DeviceInfoSetTraits = veltrano::ReleasedBy<HDEVINFO, &platform::SetupDiDestroyDeviceInfoList,
                                                 veltrano::kAllBitsSet, 0>;
using UniqueDeviceInfoSet = veltrano::UniqueResource<DeviceInfoSetTraits>;

}  // namespace platform
