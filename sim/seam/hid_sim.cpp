#include "platform/hid.h"
#include "sim/hid_api.h"

namespace platform {

void HidD_GetHidGuid(LPGUID HidGuid) { sim::HidD_GetHidGuid(HidGuid); }

BOOLEAN HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    return sim::HidD_GetAttributes(HidDeviceObject, Attributes);
}

BOOLEAN HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    return sim::HidD_GetPreparsedData(HidDeviceObject, PreparsedData);
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    return sim::HidD_FreePreparsedData(PreparsedData);
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    return sim::HidP_GetCaps(PreparsedData, Capabilities);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    return sim::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                          lpOverlapped);
}

}  // namespace platform
