#include "sim/nt_status.h"

namespace sim::detail {
namespace {

struct Pair {
    DWORD win32;
    DWORD nt;
};

// The statuses a USB audio or HID stack completes requests with.
constexpr Pair kPairs[] = {
    {ERROR_SUCCESS, kNtSuccess},
    {ERROR_OPERATION_ABORTED, kNtCancelled},
    {ERROR_MORE_DATA, 0x80000005},            // STATUS_BUFFER_OVERFLOW (a warning)
    {ERROR_INSUFFICIENT_BUFFER, 0xC0000023},  // STATUS_BUFFER_TOO_SMALL
    {ERROR_GEN_FAILURE, 0xC0000001},          // STATUS_UNSUCCESSFUL
    {ERROR_DEVICE_REMOVED, 0xC00002B6},
    {ERROR_DEVICE_NOT_CONNECTED, 0xC000009D},
    {ERROR_BUSY, 0x80000011},                 // STATUS_DEVICE_BUSY
    {ERROR_NOT_READY, 0xC00000A3},            // STATUS_DEVICE_NOT_READY
    {ERROR_INVALID_PARAMETER, 0xC000000D},
    {ERROR_INVALID_FUNCTION, 0xC0000010},     // STATUS_INVALID_DEVICE_REQUEST
    {ERROR_NOT_FOUND, 0xC0000225},
    {ERROR_SET_NOT_FOUND, 0xC0000490},
    {ERROR_NO_MATCH, 0xC0000272},
    {ERROR_BAD_COMMAND, 0xC0000184},          // STATUS_INVALID_DEVICE_STATE
    {ERROR_IO_DEVICE, 0xC0000185},
    {ERROR_SEM_TIMEOUT, 0xC00000B5},          // STATUS_IO_TIMEOUT
};

}  // namespace

DWORD ToNtStatus(DWORD win32Error) {
    for (const Pair& p : kPairs) {
        if (p.win32 == win32Error) return p.nt;
    }
    return 0xC0000001;
}

DWORD ToWin32Error(DWORD ntStatus) {
    for (const Pair& p : kPairs) {
        if (p.nt == ntStatus) return p.win32;
    }
    return ERROR_GEN_FAILURE;
}

}  // namespace sim::detail
