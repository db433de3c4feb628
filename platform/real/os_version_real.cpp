#include "platform/os_version.h"

namespace platform {

BOOL GetVersionExA(LPOSVERSIONINFOA lpVersionInformation) {
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#endif
    // Deprecated but still the call that honours the program's manifest.
    return ::GetVersionExA(lpVersionInformation);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
}

void GetNativeSystemInfo(LPSYSTEM_INFO lpSystemInfo) {
    using NativeInfoFn = void(WINAPI*)(LPSYSTEM_INFO);
    HMODULE kernel = ::GetModuleHandleA("kernel32.dll");
    FARPROC proc = kernel != nullptr ? ::GetProcAddress(kernel, "GetNativeSystemInfo") : nullptr;
    if (proc == nullptr) {
        ::GetSystemInfo(lpSystemInfo);
        return;
    }
    NativeInfoFn native;
    static_assert(sizeof(native) == sizeof(proc));
    __builtin_memcpy(&native, &proc, sizeof(native));
    native(lpSystemInfo);
}

}  // namespace platform
