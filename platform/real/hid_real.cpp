#include "platform/hid.h"

namespace platform {

void HidD_GetHidGuid(LPGUID HidGuid) { ::HidD_GetHidGuid(HidGuid); }

BOOLEAN HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    return ::HidD_GetAttributes(HidDeviceObject, Attributes);
}

BOOLEAN HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    return ::HidD_GetPreparsedData(HidDeviceObject, PreparsedData);
}

BOOLEAN HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    return ::HidD_FreePreparsedData(PreparsedData);
}

NTSTATUS HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    return ::HidP_GetCaps(PreparsedData, Capabilities);
}

BOOL WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
               LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    return ::WriteFile(hFile, lpBuffer, nNumberOfBytesToWrite, lpNumberOfBytesWritten,
                       lpOverlapped);
}

}  // namespace platform
