#include "asio/core/control_panel_launch.h"

#include <shellapi.h>

#include <cstring>

#include "common/contract/registry_key.h"

namespace veltrano::asio {
namespace {

constexpr DWORD kPathBytes = 260;

// True when the panel's window exists; then it is asked to show itself.
bool RequestShowIfRunning(PanelRequestFields fields) {
    if (FindWindowA(nullptr, kControlPanelTitle) == nullptr) return false;
    if (fields.changed != nullptr && fields.showPanelRequest != nullptr) {
        // The panel clears the request when it sees `changed`, so the request
        // goes in first.
        *fields.showPanelRequest = 1;
        *fields.changed = 1;
    }
    return true;
}

// The program path from "ASIOCPL", or false when the value is missing, not a
// string, or too long to take the program name without being cut (a cut path
// would start some other file).
bool ProgramPath(HKEY driverKey, char (&path)[kPathBytes]) {
    DWORD type = 0;
    DWORD bytes = kPathBytes - 1;  // the value may lack its terminator
    if (RegQueryValueExA(driverKey, "ASIOCPL", nullptr, &type, reinterpret_cast<BYTE*>(path),
                         &bytes) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return false;
    }
    path[bytes < kPathBytes ? bytes : kPathBytes - 1] = '\0';
    const size_t folder = std::strlen(path);
    const size_t name = sizeof(kControlPanelProgram);  // with its terminator
    if (folder == 0 || folder + name > kPathBytes) return false;
    std::memcpy(path + folder, kControlPanelProgram, name);
    return true;
}

}  // namespace

void LaunchControlPanel(PanelRequestFields fields) {
    if (RequestShowIfRunning(fields)) return;

    const RegistryKey asio = RegistryKey::Open(HKEY_CURRENT_USER, kAsioKey, KEY_READ);
    const RegistryKey driver = RegistryKey::Open(asio.Get(), kDriverKeyName, KEY_READ);
    if (!driver) return;
    char path[kPathBytes] = {};
    if (!ProgramPath(driver.Get(), path)) return;

    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    // A panel that was quick enough gets the request now; a slower one shows
    // itself anyway when it starts.
    RequestShowIfRunning(fields);
}

}  // namespace veltrano::asio
