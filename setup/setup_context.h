#pragma once
// What one co-installer run knows once the package key is read, and the
// helpers every step shares: the privileged launch and the delete command.

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

#include "common/os_kind.h"
#include "platform/setup/setup_seams.h"
#include "setup/driver_lists.h"

namespace veltrano::setup {

// "CoInstallFlags" bits.
inline constexpr DWORD kFlagCertificate = 0x01;
inline constexpr DWORD kFlagDriverPackage = 0x02;
inline constexpr DWORD kFlagAsioDriver = 0x04;
inline constexpr DWORD kFlagAutorun = 0x08;
inline constexpr DWORD kFlagControlPanelName = 0x10;
inline constexpr DWORD kFlagRestart = 0x20;
inline constexpr DWORD kFlagDriverPackage2 = 0x40;

inline constexpr DWORD kCompletedStatus = 80;

// The files the co-installer carries and writes out.
struct Payloads {
    std::string_view certificate;
    std::string_view certTool32;
    std::string_view certTool64;
};

struct SetupContext {
    platform::setup::CommandRunner* runner = nullptr;
    platform::setup::RestartControl* restart = nullptr;
    platform::setup::DeviceSetup* devices = nullptr;
    Payloads payloads;

    std::string installPath;
    DWORD flags = 0;
    OsKind os;
    bool windows10v1703 = false;
    std::vector<DriverEntry> driverEntries;
    std::string asioDllName;
    std::string controlPanelName;
    std::string autorunValueName;
    bool uninstall = false;

    // Steps that did not do their work, one line each, in order; also sent
    // to the debugger output.
    std::vector<std::string> failures;
    void Fail(const std::string& what);

    bool Is32BitSystem() const { return os.platformFlag != 0; }

    // Starts a command the privileged way for this Windows: "open" on XP and
    // Server 2003, "runas" on Vista and later, not at all on an unknown
    // system. False when it was not started.
    bool Launch(const std::string& file, const std::string& parameters);

    // Deletes a file (wildcards allowed) through "CMD.exe /C del". A path
    // CMD could misread is never handed to it.
    bool DeleteWithCmd(std::string_view path);

    // InstallPath + name, or nothing (and a failure noted) when too long.
    bool InPackage(std::string_view name, std::string* path, const char* step);
};

}  // namespace veltrano::setup
