#pragma once
// The Windows version seam: the two calls that tell which Windows this is.
// The real build asks Windows; a `_sim` build or a test can pretend to be any
// Windows (see sim/os_pretend.h), because what the control panel and the
// co-installer do depends on it.

#include "common/os_kind.h"
#include "platform/win32_headers.h"

namespace platform {

// As GetVersionExA. Only OSVERSIONINFOEXA-sized requests are answered in full.
BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation);

// As GetNativeSystemInfo, which the real build looks up by name in
// kernel32.dll and replaces with GetSystemInfo where it is missing.
void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo);

// The running Windows, classified. False (with the reset record) when the
// version cannot be read or the system is too old.
inline bool ReadOsKind(veltrano::OsTable table, veltrano::OsKind* kind) {
    if (kind == nullptr) return false;
    *kind = veltrano::OsKind{};
    OSVERSIONINFOEXA info{};
    info.dwOSVersionInfoSize = sizeof(info);
    if (!platform::GetVersionExA(reinterpret_cast<LPOSVERSIONINFOA>(&info))) return false;
    SYSTEM_INFO system{};
    platform::GetNativeSystemInfo(&system);
    veltrano::OsVersionFacts facts;
    facts.platformId = info.dwPlatformId;
    facts.major = info.dwMajorVersion;
    facts.minor = info.dwMinorVersion;
    facts.build = info.dwBuildNumber;
    facts.productType = info.wProductType;
    facts.processorArchitecture = system.wProcessorArchitecture;
    return veltrano::ClassifyOs(facts, table, kind);
}

}  // namespace platform
