// Device-interface enumeration of the virtual devices, with the setup API's
// size and structure checks.

#include "platform/win32_headers.h"
#include "sim/device_api.h"
#include "sim/internal.h"

namespace sim {

using namespace detail;

namespace {

DevInfoSet* SetOf(HDEVINFO h) {
    Object* object = Find(h);
    return object != nullptr && object->kind == Kind::DevInfo ? object->devInfo : nullptr;
}

// The member an SP_DEVICE_INTERFACE_DATA stands for, or -1.
long MemberOf(const DevInfoSet* set, const SP_DEVICE_INTERFACE_DATA* data) {
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) return -1;
    const ULONG_PTR token = data->Reserved;
    if (token == 0 || token > set->devices.size()) return -1;
    return static_cast<long>(set->devices[token - 1]);
}

BOOL Fail(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace

HDEVINFO SetupDiGetClassDevsA(const GUID* ClassGuid, PCSTR, HWND, DWORD Flags) {
    RunFirstUse();
    auto lock = Lock();
    if (ClassGuid == nullptr && (Flags & DIGCF_ALLCLASSES) == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto* set = new DevInfoSet{};
    if (ClassGuid != nullptr) set->category = *ClassGuid;
    if ((Flags & DIGCF_DEVICEINTERFACE) != 0 && ClassGuid != nullptr) {
        for (size_t d = 0; d < Get().config.devices.size(); ++d) {
            if (!PathOf(d, *ClassGuid).empty()) set->devices.push_back(d);
        }
    }
    Object object;
    object.kind = Kind::DevInfo;
    object.devInfo = set;
    HANDLE h = NewHandle(object);
    if (h == INVALID_HANDLE_VALUE) delete set;
    return h;
}

BOOL SetupDiEnumDeviceInterfaces(HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA,
                                 const GUID* InterfaceClassGuid, DWORD MemberIndex,
                                 PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData) {
    auto lock = Lock();
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
    if (InterfaceClassGuid == nullptr || DeviceInterfaceData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (DeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (!(*InterfaceClassGuid == set->category) || MemberIndex >= set->devices.size()) {
        return Fail(ERROR_NO_MORE_ITEMS);
    }
    DeviceInterfaceData->InterfaceClassGuid = set->category;
    DeviceInterfaceData->Flags = SPINT_ACTIVE;
    DeviceInterfaceData->Reserved = MemberIndex + 1;
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO DeviceInfoSet,
                                      PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                      PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData,
                                      DWORD DeviceInterfaceDetailDataSize, PDWORD RequiredSize,
                                      PSP_DEVINFO_DATA DeviceInfoData) {
    auto lock = Lock();
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const long device = MemberOf(set, DeviceInterfaceData);
    if (device < 0) return Fail(ERROR_INVALID_PARAMETER);
    const std::string path = PathOf(static_cast<size_t>(device), set->category);
    const DWORD required = static_cast<DWORD>(
        offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1);
    if (RequiredSize != nullptr) *RequiredSize = required;
    if (DeviceInterfaceDetailData != nullptr &&
        DeviceInterfaceDetailData->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInfoData != nullptr && DeviceInfoData->cbSize != sizeof(SP_DEVINFO_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (DeviceInterfaceDetailData == nullptr || DeviceInterfaceDetailDataSize < required) {
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    }
    memcpy(DeviceInterfaceDetailData->DevicePath, path.c_str(), path.size() + 1);
    if (DeviceInfoData != nullptr) {
        DeviceInfoData->ClassGuid = KSCATEGORY_AUDIO;
        DeviceInfoData->DevInst = static_cast<DWORD>(device + 1);
    }
    return TRUE;
}

BOOL SetupDiGetDeviceInterfaceAlias(HDEVINFO DeviceInfoSet,
                                    PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
                                    const GUID* AliasInterfaceClassGuid,
                                    PSP_DEVICE_INTERFACE_DATA AliasDeviceInterfaceData) {
    auto lock = Lock();
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
    const long device = MemberOf(set, DeviceInterfaceData);
    if (device < 0 || AliasInterfaceClassGuid == nullptr || AliasDeviceInterfaceData == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (AliasDeviceInterfaceData->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        return Fail(ERROR_INVALID_USER_BUFFER);
    }
    if (PathOf(static_cast<size_t>(device), *AliasInterfaceClassGuid).empty()) {
        return Fail(ERROR_NO_SUCH_DEVICE_INTERFACE);
    }
    DWORD flags = SPINT_ACTIVE;
    if (*AliasInterfaceClassGuid == KSCATEGORY_RENDER) {
        switch (Get().config.devices[static_cast<size_t>(device)].renderAlias) {
            case AliasState::Disabled:
                flags = 0;
                break;
            case AliasState::Removed:
                flags = SPINT_REMOVED;
                break;
            default:
                break;
        }
    }
    AliasDeviceInterfaceData->InterfaceClassGuid = *AliasInterfaceClassGuid;
    AliasDeviceInterfaceData->Flags = flags;
    AliasDeviceInterfaceData->Reserved = DeviceInterfaceData->Reserved;
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO DeviceInfoSet) {
    auto lock = Lock();
    DevInfoSet* set = SetOf(DeviceInfoSet);
    if (set == nullptr) return Fail(ERROR_INVALID_HANDLE);
    delete set;
    FreeHandle(DeviceInfoSet);
    return TRUE;
}

}  // namespace sim
