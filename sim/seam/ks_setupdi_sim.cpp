#include "platform/ks_setupdi.h"
#include "sim/device_api.h"

namespace platform {

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR Enumerator, HWND hwndParent,
                              DWORD Flags) {
    return sim::SetupDiGetClassDevsA(ClassGuid, Enumerator, hwndParent, Flags);
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    return sim::SetupDiEnumDeviceInterfaces(DeviceInfoSet, DeviceInfoData, InterfaceClassGuid,
                                            MemberIndex, DeviceInterfaceData);
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
    return sim::SetupDiGetDeviceInterfaceDetailA(
        DeviceInfoSet, DeviceInterfaceData, DeviceInterfaceDetailData,
        DeviceInterfaceDetailDataSize, RequiredSize, DeviceInfoData);
}

BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO DeviceInfoSet,
                                    PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                    const GUID* AliasInterfaceClassGuid,
                                    PSP_DEVICE_INTERFACE_DATA AliasDeviceInterfaceData) {
    return sim::SetupDiGetDeviceInterfaceAlias(DeviceInfoSet, DeviceInterfaceData,
                                               AliasInterfaceClassGuid, AliasDeviceInterfaceData);
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    return sim::SetupDiDestroyDeviceInfoList(DeviceInfoSet);
}

}  // namespace platform
