#pragma once
// The virtual device's HID interface seen through the platform calls it
// models, typed by the seam's declarations. CreateFileA and CloseHandle are
// those of device_api.h.

#include "platform/hid.h"

namespace sim {

decltype(platform::HidD_GetHidGuid) HidD_GetHidGuid;
decltype(platform::HidD_GetAttributes) HidD_GetAttributes;
decltype(platform::HidD_GetPreparsedData) HidD_GetPreparsedData;
decltype(platform::HidD_FreePreparsedData) HidD_FreePreparsedData;
decltype(platform::HidP_GetCaps) HidP_GetCaps;
decltype(platform::WriteFile) WriteFile;

}  // namespace sim
