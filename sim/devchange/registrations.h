#pragma once
// The recorded device-notification registrations (internal to the virtual
// device).

#include <windows.h>

#include <vector>

namespace sim::devchange {

struct Registration {
    HWND window = nullptr;
    DWORD type = 0;  // DBT_DEVTYP_*
    GUID classGuid{};
    bool allClasses = false;
};

// A copy, so that messages are sent without the lock held.
std::vector<Registration> Snapshot();

}  // namespace sim::devchange
