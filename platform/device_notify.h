#pragma once
// Device-change notifications (part of the device seam). Windows sends
// WM_DEVICECHANGE to the registered windows when a device interface of the
// registered class arrives or goes; the virtual device does the same when a
// test or its control channel unplugs or plugs it.

#include <windows.h>
#include <dbt.h>

namespace platform {

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags);
BOOL UnregisterDeviceNotification(HDEVNOTIFY Handle);

}  // namespace platform
