#include "platform/device_notify.h"

namespace platform {

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
    return ::RegisterDeviceNotificationA(hRecipient, NotificationFilter, Flags);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY Handle) {
    return ::UnregisterDeviceNotification(Handle);
}

}  // namespace platform
