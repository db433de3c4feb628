#pragma once
// Device-interface enumeration through the setup API (part of the device seam).

#include "platform/win32_headers.h"

namespace platform {

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                              DWORD Flags);

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData);

BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO DeviceInfoSet,
                                    PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                    const GUID* AliasInterfaceClassGuid,
                                    PSP_DEVICE_INTERFACE_DATA AliasDeviceInterfaceData);

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet);

}  // namespace platform
