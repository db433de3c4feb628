#include "asio/core/control_panel_launch.h"

#include <windows.h>

// Needs the types windows.h declares, so it comes after it.
#include <shellapi.h>

#include "asio/core/registry_key.h"
#include "asio/core/settings_store.h"
#include "asio/core/status_block.h"

namespace veltrano::asio {
namespace {

bool AskRunningPanel(StatusBlock& block) {
    if (FindWindowA(nullptr, kControlPanelTitle) == nullptr) return false;
    block.RequestShowPanel();
    return true;
}

}  // namespace

void LaunchControlPanel(StatusBlock& block) {
    if (AskRunningPanel(block)) return;
    const RegistryKey parent = RegistryKey::Open(HKEY_CURRENT_USER, kSettingsParentKey);
    const RegistryKey key = RegistryKey::Open(parent.Get(), kSettingsKey);
    char path[MAX_PATH] = {};
    if (!key.ReadString("ASIOCPL", path, sizeof(path))) return;
    size_t used = lstrlenA(path);
    for (const char* p = kControlPanelProgram; *p != '\0' && used + 1 < sizeof(path); ++p) {
        path[used++] = *p;
    }
    path[used] = '\0';
    ShellExecuteA(nullptr, "open", path, nullptr, nullptr, SW_SHOWNORMAL);
    // A panel just started usually has no window yet; it then shows itself.
    AskRunningPanel(block);
}

}  // namespace veltrano::asio
