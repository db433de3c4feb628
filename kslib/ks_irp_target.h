#pragma once
// A kernel-streaming file object (filter or pin) and its synchronous request.

#include <cstdint>

#include "platform/seam_owners.h"
#include "platform/win32_headers.h"

namespace kslib {

class CKsIrpTarget {
public:
    CKsIrpTarget() = default;
    CKsIrpTarget(const CKsIrpTarget&) = delete;
    CKsIrpTarget& operator=(const CKsIrpTarget&) = delete;

    static bool IsValidHandle(HANDLE hHandle);
    static BOOL SafeCloseHandle(HANDLE& hHandle);

    // How long a request may stay pending before it is cancelled and fails.
    static constexpr DWORD kSyncIoctlTimeoutMs = 5000;

    // Issues one request and waits for it, at most kSyncIoctlTimeoutMs. A property request without an
    // output buffer is a size query: ERROR_MORE_DATA or
    // ERROR_INSUFFICIENT_BUFFER then give S_OK with the size needed.
    static HRESULT SyncIoctl(HANDLE hHandle, ULONG ulIoctl, PVOID pvInBuffer, ULONG cbInBuffer,
                             PVOID pvOutBuffer, ULONG cbOutBuffer, PULONG pulBytesReturned);

    // Variable-size GET; *ppvBuffer (library heap, caller frees with KsFree)
    // is handed over also when the second request fails.
    HRESULT GetPropertyMulti(REFGUID guidPropertySet, ULONG nProperty, PVOID* ppvBuffer,
                             ULONG* pcbBuffer = nullptr);
    HRESULT SetPropertySimple(REFGUID guidPropertySet, ULONG nProperty, PVOID pvValue,
                              ULONG cbValue);

    HANDLE GetHandle() const { return m_handle.get(); }

protected:
    // Holds INVALID_HANDLE_VALUE while nothing is open.
    platform::UniqueDeviceHandle m_handle;
};

// A topology node of a filter.
class CKsNode {
public:
    static constexpr uint32_t kTag = 0x454E4F4E;  // "NONE" in memory order

    CKsNode(ULONG ulNodeId, REFGUID guidNodeType);

    ULONG GetId() const { return m_ulNodeId; }
    const GUID& GetType() const { return m_guidNodeType; }
    uint32_t GetTag() const { return m_ulTag; }

private:
    ULONG m_ulNodeId;
    uint32_t m_ulTag;
    GUID m_guidNodeType;
};

}  // namespace kslib
