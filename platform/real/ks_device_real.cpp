#include <atomic>

#include "platform/ks_device.h"

namespace platform {
namespace {

using KsCreatePinFn = DWORD(WINAPI*)(HANDLE, PKSPIN_CONNECT, ACCESS_MASK, PHANDLE);

// Resolved once; a failed look-up is retried on the next call, a found entry
// point is kept (the library stays loaded) for the life of the process.
std::atomic<KsCreatePinFn> g_ksCreatePin{nullptr};

KsCreatePinFn ResolveKsCreatePin() {
    KsCreatePinFn fn = g_ksCreatePin.load();
    if (fn != nullptr) return fn;
    HMODULE hModule = ::LoadLibraryA("ksuser.dll");
    if (hModule == nullptr) return nullptr;
    fn = reinterpret_cast<KsCreatePinFn>(
        reinterpret_cast<void*>(::GetProcAddress(hModule, "KsCreatePin")));
    if (fn == nullptr) {
        ::FreeLibrary(hModule);
        return nullptr;
    }
    KsCreatePinFn expected = nullptr;
    if (!g_ksCreatePin.compare_exchange_strong(expected, fn)) {
        ::FreeLibrary(hModule);  // another thread won; its module reference stays
        fn = expected;
    }
    return fn;
}

}  // namespace

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    return ::CreateFileA(lpFileName, dwDesiredAccess, dwShareMode, lpSecurityAttributes,
                         dwCreationDisposition, dwFlagsAndAttributes, hTemplateFile);
}

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped) {
    return ::DeviceIoControl(hDevice, dwIoControlCode, lpInBuffer, nInBufferSize, lpOutBuffer,
                             nOutBufferSize, lpBytesReturned, lpOverlapped);
}

BOOL CloseHandle(HANDLE hObject) { return ::CloseHandle(hObject); }

BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait) {
    return ::GetOverlappedResult(hFile, lpOverlapped, lpNumberOfBytesTransferred, bWait);
}

BOOL CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped) {
    return ::CancelIoEx(hFile, lpOverlapped);
}

DWORD KsCreatePin(HANDLE FilterHandle, PKSPIN_CONNECT Connect, ACCESS_MASK DesiredAccess,
                  PHANDLE ConnectionHandle) {
    KsCreatePinFn fn = ResolveKsCreatePin();
    if (fn == nullptr) return ERROR_FILE_NOT_FOUND;
    return fn(FilterHandle, Connect, DesiredAccess, ConnectionHandle);
}

}  // namespace platform
