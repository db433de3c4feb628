#pragma once
// The virtual device seen through the platform calls it models: each call
// has the type of its seam declaration, so the two cannot drift apart. The
// `_sim` seam (sim/seam/) forwards to these; a test may wrap them in a seam
// of its own.

#include "platform/ks_device.h"
#include "platform/ks_setupdi.h"

namespace sim {

decltype(platform::CreateFileA) CreateFileA;
decltype(platform::DeviceIoControl) DeviceIoControl;
decltype(platform::CloseHandle) CloseHandle;
decltype(platform::GetOverlappedResult) GetOverlappedResult;
decltype(platform::CancelIoEx) CancelIoEx;
decltype(platform::KsCreatePin) KsCreatePin;

decltype(platform::SetupDiGetClassDevsA) SetupDiGetClassDevsA;
decltype(platform::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces;
decltype(platform::SetupDiGetDeviceInterfaceDetailA) SetupDiGetDeviceInterfaceDetailA;
decltype(platform::SetupDiGetDeviceInterfaceAlias) SetupDiGetDeviceInterfaceAlias;
decltype(platform::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;

}  // namespace sim
