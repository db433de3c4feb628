#pragma once
// The kernel-streaming part of the device seam. Same names and parameters as
// the Win32 calls; the executable links either veltrano_platform_real
// (forwards to Windows) or veltrano_platform_sim (the virtual device).

#include "platform/win32_headers.h"

namespace platform {

HANDLE CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                   LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                   DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

BOOL DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                     LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                     LPOVERLAPPED lpOverlapped);

BOOL CloseHandle(HANDLE hObject);

// The result of an overlapped request (stream transfers, property requests,
// HID writes): the real completion status, not just the event having fired.
BOOL GetOverlappedResult(HANDLE hFile, LPOVERLAPPED lpOverlapped,
                         LPDWORD lpNumberOfBytesTransferred, BOOL bWait);

// Cancels the caller's outstanding request `lpOverlapped` on hFile (all of
// them when null); each completes with ERROR_OPERATION_ABORTED.
BOOL CancelIoEx(HANDLE hFile, LPOVERLAPPED lpOverlapped);

// From "ksuser.dll", loaded on first use and kept for the life of the
// process. Returns a Windows error code; 2 (ERROR_FILE_NOT_FOUND) when the
// library or the entry point is missing.
DWORD KsCreatePin(HANDLE FilterHandle, PKSPIN_CONNECT Connect, ACCESS_MASK DesiredAccess,
                  PHANDLE ConnectionHandle);

}  // namespace platform
