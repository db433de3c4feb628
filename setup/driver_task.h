#pragma once
// The kernel driver packages: removing every instance of the device's
// functions with the OEM INF copies of our drivers, and (install mode)
// putting the packages into the driver store and re-enumerating.

#include "setup/setup_context.h"

namespace veltrano::setup {

inline constexpr char kWindowsVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
inline constexpr char kPoliciesKey[] = "SOFTWARE\\Policies\\Microsoft\\Windows";
inline constexpr char kClassKey[] = "SYSTEM\\CurrentControlSet\\Control\\Class\\";
inline constexpr DWORD kCopyForceNewer = 0x2000;
inline constexpr DWORD kInfCommitWaitMs = 1500;
inline constexpr DWORD kInfGapWaitMs = 100;
inline constexpr size_t kMaxScannedDevices = 64;
// Package-key value: the driver files (';'-separated) whose packages an
// install run of the driver task put on this system. The uninstall deletes
// from the system's drivers folder only these: the device's own driver
// installation may have put files of the same names there. It stays in the
// package key, which the package's uninstaller deletes as a whole.
inline constexpr char kInstalledDriversValue[] = "InstalledDriverFiles";

// "InstallPath" + "DriverXP" on XP, else + "Driver"; empty when too long.
std::string DriverFolder(const SetupContext& context);

void RunDriverTask(SetupContext& context);

// Uninstall mode: the driver folder's precompiled INFs and INF copies and,
// in the system's drivers folder, the driver files an install recorded, each
// once, through the delete command.
void CleanUpDriverFiles(SetupContext& context);

// The device search path edits; the value keeps its type when added to and
// becomes REG_EXPAND_SZ when an entry is removed. A value that is not a
// string is left alone.
void AddToDeviceSearchPath(SetupContext& context, const std::string& folder);
void RemoveFromDeviceSearchPath(SetupContext& context, const std::string& folder);

}  // namespace veltrano::setup
