// PkgSetup.exe: the package's co-installer. The package's setup program
// runs it once after copying the package's files and once with "/U" at
// removal; success shows only as the package key's "CoInstallStatus".
#include <windows.h>

#include <string_view>

#include "platform/os_version.h"
#include "platform/setup/setup_real.h"
#include "setup/pkg_setup_app.h"
#include "setup/res/setup_resources.h"

namespace {

std::string_view Resource(int id) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(10) /* RT_RCDATA */);
    if (!found) return {};
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) return {};
    return {static_cast<const char*>(bytes), SizeofResource(module, found)};
}

// A 32-bit build under WoW64 would see the redirected registry views and
// system folder: on 64-bit Windows only the 64-bit build does the work.
bool RunningUnderWow64() {
#if defined(_WIN64)
    return false;
#else
    using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<IsWow64ProcessFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
#endif
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    if (RunningUnderWow64()) {
        OutputDebugStringA("PkgSetup: the 32-bit build does not run on 64-bit Windows\n");
        return 0;
    }
    auto runner = platform::setup::MakeRealCommandRunner();
    auto restart = platform::setup::MakeRealRestartControl();
    auto devices = platform::setup::MakeRealDeviceSetup();

    veltrano::setup::SetupSeams seams;
    seams.runner = runner.get();
    seams.restart = restart.get();
    seams.devices = devices.get();
    seams.readOsKind = [](veltrano::OsKind* kind) {
        return platform::ReadOsKind(veltrano::OsTable::CoInstaller, kind);
    };
    seams.payloads.certificate = Resource(IDR_PUBLISHER_CERT);
    seams.payloads.certTool32 = Resource(IDR_CERTTOOL_X86);
    seams.payloads.certTool64 = Resource(IDR_CERTTOOL_X64);

    // The arguments only: a program path such as "C:/Users/..." must not
    // read as the uninstall switch.
    veltrano::setup::CPkgSetupApp app(seams, commandLine ? commandLine : "");
    app.InitInstance();
    return 0;
}
