#pragma once
// Owners of what a HID command opens: file handles, the device-interface set
// and the preparsed report descriptor. Each releases through the device seam.
// The owner is the common one; the file and set traits are the seam's own,
// shared with the kernel-streaming library.

#include "common/unique_resource.h"
#include "platform/hid.h"
#include "platform/seam_owners.h"

namespace veltrano::asio::hid {

using PreparsedDataTraits = ReleasedBy<PHIDP_PREPARSED_DATA, &platform::HidD_FreePreparsedData>;

using UniqueFile = platform::UniqueDeviceHandle;
using UniqueDeviceInfo = platform::UniqueDeviceInfoSet;
using UniquePreparsedData = UniqueResource<PreparsedDataTraits>;

}  // namespace veltrano::asio::hid
