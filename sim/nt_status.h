#pragma once
// The completion statuses the virtual device writes into an OVERLAPPED are
// NTSTATUS values, as a real driver's are; callers read them back as Win32
// errors through GetOverlappedResult. Faults are configured as Win32 errors.

#include "platform/win32_headers.h"

namespace sim::detail {

inline constexpr DWORD kNtSuccess = 0;
inline constexpr DWORD kNtPending = 0x103;
inline constexpr DWORD kNtCancelled = 0xC0000120;

// Win32 error -> the NTSTATUS a driver completes with; unknown errors become
// STATUS_UNSUCCESSFUL.
DWORD ToNtStatus(DWORD win32Error);
// NTSTATUS -> the Win32 error GetOverlappedResult reports.
DWORD ToWin32Error(DWORD ntStatus);

}  // namespace sim::detail
