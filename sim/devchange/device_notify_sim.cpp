// The virtual twin of the device-notification seam: registrations are
// recorded so that the virtual device can send them what Windows would.

#include "platform/device_notify.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#include "sim/devchange/device_change.h"
#include "sim/devchange/registrations.h"

namespace sim::devchange {
namespace {

std::mutex g_lock;
std::vector<Registration*> g_registrations;

}  // namespace

std::vector<Registration> Snapshot() {
    std::lock_guard<std::mutex> lock(g_lock);
    std::vector<Registration> out;
    for (const Registration* r : g_registrations) out.push_back(*r);
    return out;
}

}  // namespace sim::devchange

namespace sim {

size_t DeviceNotificationCount() {
    std::lock_guard<std::mutex> lock(devchange::g_lock);
    return devchange::g_registrations.size();
}

}  // namespace sim

namespace platform {

HDEVNOTIFY RegisterDeviceNotificationA(HANDLE hRecipient, LPVOID NotificationFilter, DWORD Flags) {
    using sim::devchange::Registration;
    const auto* filter = static_cast<const DEV_BROADCAST_HDR*>(NotificationFilter);
    const DWORD kind = Flags & 3;  // window or service handle
    if (filter == nullptr || kind != DEVICE_NOTIFY_WINDOW_HANDLE ||
        !IsWindow(static_cast<HWND>(hRecipient)) || filter->dbch_size < sizeof(DEV_BROADCAST_HDR)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Registration* r = new (std::nothrow) Registration;
    if (r == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    r->window = static_cast<HWND>(hRecipient);
    r->allClasses = (Flags & DEVICE_NOTIFY_ALL_INTERFACE_CLASSES) != 0;
    r->type = filter->dbch_devicetype;
    if (r->type == DBT_DEVTYP_DEVICEINTERFACE) {
        if (filter->dbch_size < sizeof(DEV_BROADCAST_DEVICEINTERFACE_A)) {
            delete r;
            SetLastError(ERROR_INVALID_DATA);
            return nullptr;
        }
        r->classGuid = static_cast<const DEV_BROADCAST_DEVICEINTERFACE_A*>(NotificationFilter)
                           ->dbcc_classguid;
    }
    std::lock_guard<std::mutex> lock(sim::devchange::g_lock);
    sim::devchange::g_registrations.push_back(r);
    return reinterpret_cast<HDEVNOTIFY>(r);
}

BOOL UnregisterDeviceNotification(HDEVNOTIFY Handle) {
    std::lock_guard<std::mutex> lock(sim::devchange::g_lock);
    auto& list = sim::devchange::g_registrations;
    const auto it = std::find(list.begin(), list.end(), reinterpret_cast<sim::devchange::Registration*>(Handle));
    if (Handle == nullptr || it == list.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    delete *it;
    list.erase(it);
    return TRUE;
}

}  // namespace platform
