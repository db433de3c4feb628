#include "platform/os_version.h"
#include "sim/os/os_pretend.h"

namespace platform {

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
    veltrano::OsVersionFacts facts;
    if (!sim::CurrentOsPretence(&facts)) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
        return ::GetVersionExA(lpVersionInformation);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    }
    if (lpVersionInformation == nullptr) {
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const DWORD size = lpVersionInformation->dwOSVersionInfoSize;
    if (size != sizeof(OSVERSIONINFOA) && size != sizeof(OSVERSIONINFOEXA)) {
        ::SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    lpVersionInformation->dwMajorVersion = facts.major;
    lpVersionInformation->dwMinorVersion = facts.minor;
    lpVersionInformation->dwBuildNumber = facts.build;
    lpVersionInformation->dwPlatformId = facts.platformId;
    lpVersionInformation->szCSDVersion[0] = '\0';
    if (size == sizeof(OSVERSIONINFOEXA)) {
        auto* ex = reinterpret_cast<LPOSVERSIONINFOEXA>(lpVersionInformation);
        ex->wServicePackMajor = 0;
        ex->wServicePackMinor = 0;
        ex->wSuiteMask = 0;
        ex->wProductType = facts.productType;
        ex->wReserved = 0;
    }
    return TRUE;
}

void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    ::GetNativeSystemInfo(lpSystemInfo);
    veltrano::OsVersionFacts facts;
    if (sim::CurrentOsPretence(&facts)) {
        lpSystemInfo->wProcessorArchitecture = facts.processorArchitecture;
    }
}

}  // namespace platform
