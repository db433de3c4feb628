#pragma once
// Shared by the co-installer tests: the package key in either view, a
// package folder inside the Wine prefix, and the Windows kinds the flow is
// run as.

#include <windows.h>

#include <optional>
#include <string>

#include "common/os_kind.h"
#include "setup/package_key.h"

namespace veltrano::test {

// Removes both views of the package key, the control panel's Run value and
// the ASIO registration when made and when destroyed, so every test starts
// from and leaves a clean registry.
class CleanSetupRegistry {
public:
    CleanSetupRegistry() { Clean(); }
    ~CleanSetupRegistry() { Clean(); }
    CleanSetupRegistry(const CleanSetupRegistry&) = delete;
    CleanSetupRegistry& operator=(const CleanSetupRegistry&) = delete;
    static void Clean();
};

inline constexpr char kRunValueName[] = "VeltranoHDACPL";

void SetPackageString(setup::KeyView view, const char* name, const std::string& value);
void SetPackageDword(setup::KeyView view, const char* name, DWORD value);
std::optional<DWORD> PackageDword(setup::KeyView view, const char* name);

// A fresh folder under the prefix's temporary folder; ends in a backslash.
std::string MakePackageFolder(const std::string& name);
void RemoveFolder(const std::string& folder);
bool WriteTextFile(const std::string& path, const std::string& text);
std::optional<std::string> ReadWholeFile(const std::string& path);
bool FileExists(const std::string& path);

std::optional<std::string> RegString(HKEY root, const std::string& key, const char* name, REGSAM view = 0);

// Runs a program and waits for it at most timeoutMs, without handing it
// any handle: programs it starts (Wine's desktop among them) may outlive
// it. Its exit code; -1 when it could not be started, STILL_ACTIVE when it
// did not end in time.
long RunAndWait(const std::string& commandLine, unsigned long timeoutMs);

// A 32-bit test program on 64-bit Windows: the package key's two views are
// one key to it, and the 32-bit PkgSetup.exe refuses to work there.
bool ThirtyTwoBitUnderWow64();

// What each Windows kind reports.
OsVersionFacts WindowsXp();
OsVersionFacts Windows7(bool x64);
OsVersionFacts Windows10(uint32_t build, bool server = false);
OsVersionFacts Windows2000();

}  // namespace veltrano::test
