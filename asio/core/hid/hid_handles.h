#pragma once
// Owners of what a HID command opens: file handles, the device-interface set
// and the preparsed report descriptor. Each releases through the device seam.
// The owner is the common one; only the traits are the device's.

#include "common/unique_resource.h"
#include "platform/hid.h"
#include "platform/ks_device.h"
#include "platform/ks_setupdi.h"

namespace veltrano::asio::hid {

struct FileTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    // CreateFileA fails with INVALID_HANDLE_VALUE; null is never a file either.
    static Type Normalize(Type h) noexcept { return h == nullptr ? Invalid() : h; }
    static void Release(Type h) noexcept { platform::CloseHandle(h); }
};

struct DeviceInfoTraits {
    using Type = HDEVINFO;
    static Type Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static Type Normalize(Type h) noexcept { return h == nullptr ? Invalid() : h; }
    static void Release(Type h) noexcept { platform::SetupDiDestroyDeviceInfoList(h); }
};

struct PreparsedDataTraits {
    using Type = PHIDP_PREPARSED_DATA;
    static Type Invalid() noexcept { return nullptr; }
    static Type Normalize(Type p) noexcept { return p; }
    static void Release(Type p) noexcept { platform::HidD_FreePreparsedData(p); }
};

using UniqueFile = UniqueResource<FileTraits>;
using UniqueDeviceInfo = UniqueResource<DeviceInfoTraits>;
using UniquePreparsedData = UniqueResource<PreparsedDataTraits>;

}  // namespace veltrano::asio::hid
