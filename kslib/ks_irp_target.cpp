#include "kslib/ks_irp_target.h"

#include <cstdint>

#include "common/win_owners.h"
#include "kslib/ks_heap.h"
#include "kslib/ks_log.h"
#include "platform/ks_device.h"

namespace kslib {

bool CKsIrpTarget::IsValidHandle(HANDLE hHandle) {
    return hHandle != nullptr && hHandle != INVALID_HANDLE_VALUE;
}

BOOL CKsIrpTarget::SafeCloseHandle(HANDLE& hHandle) {
    if (!IsValidHandle(hHandle)) return TRUE;
    BOOL bResult = platform::CloseHandle(hHandle);
    hHandle = INVALID_HANDLE_VALUE;
    return bResult;
}

HRESULT CKsIrpTarget::SyncIoctl(HANDLE hHandle, ULONG ulIoctl, PVOID pvInBuffer, ULONG cbInBuffer,
                                PVOID pvOutBuffer, ULONG cbOutBuffer, PULONG pulBytesReturned) {
    KsLog(6, "%s Enter", "CKsIrpTarget::SyncIoctl()");
    ULONG ulLocalReturned = 0;
    PULONG pulReturned = pulBytesReturned != nullptr ? pulBytesReturned : &ulLocalReturned;
    *pulReturned = 0;

    if (!IsValidHandle(hHandle)) {
        KsLog(1, "CKsIrpTarget::SyncIoctl Invalid Handle");
        KsLogLeave("CKsIrpTarget::SyncIoctl", E_FAIL);
        return E_FAIL;
    }

    OVERLAPPED overlapped{};
    const veltrano::UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!event) {
        KsLog(1, "CKsIrpTarget::SyncIoctl CreateEvent failed");
        KsLogLeave("CKsIrpTarget::SyncIoctl", E_OUTOFMEMORY);
        return E_OUTOFMEMORY;
    }
    // The low bit keeps the completion from being posted to an I/O
    // completion port the handle may be bound to.
    overlapped.hEvent = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(event.get()) | 1);

    HRESULT hr = S_OK;
    DWORD dwReturned = 0;
    if (!platform::DeviceIoControl(hHandle, ulIoctl, pvInBuffer, cbInBuffer, pvOutBuffer,
                                   cbOutBuffer, &dwReturned, &overlapped)) {
        const DWORD dwError = GetLastError();
        if (dwError == ERROR_IO_PENDING) {
            DWORD dwWait = WaitForSingleObject(event.get(), kSyncIoctlTimeoutMs);
            dwReturned = 0;
            if (dwWait == WAIT_TIMEOUT) {
                // A device that stopped answering must not hold the caller
                // (a host's start or stop) for ever. The request's buffers
                // and OVERLAPPED are ours until it ends, so cancel it and
                // wait for the cancellation, which Windows completes.
                KsLog(1, "CKsIrpTarget::SyncIoctl request 0x%08lx timed out; cancelling", ulIoctl);
                platform::CancelIoEx(hHandle, &overlapped);
                dwWait = WaitForSingleObject(event.get(), INFINITE);
                hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
            } else if (dwWait != WAIT_OBJECT_0) {
                KsLog(1, "CKsIrpTarget::SyncIoctl WaitForSingleObject failed dwWait:0x%08lx",
                      dwWait);
                hr = E_FAIL;
            } else if (!platform::GetOverlappedResult(hHandle, &overlapped, &dwReturned, FALSE)) {
                // The request went pending and then failed: only its
                // completion status tells. A size query's warning still
                // carries the size.
                const DWORD dwResult = GetLastError();
                if (!(dwResult == ERROR_MORE_DATA && ulIoctl == IOCTL_KS_PROPERTY &&
                      cbOutBuffer == 0 && dwReturned != 0)) {
                    KsLog(1, "CKsIrpTarget::SyncIoctl request failed Error=0x%08lx", dwResult);
                    hr = E_FAIL;
                    dwReturned = 0;
                }
            }
        } else if ((dwError == ERROR_INSUFFICIENT_BUFFER || dwError == ERROR_MORE_DATA) &&
                   ulIoctl == IOCTL_KS_PROPERTY && cbOutBuffer == 0 && dwReturned != 0) {
            // A size query: dwReturned holds the size needed. An error
            // answer that gives no size leaves nothing to go on.
        } else {
            hr = E_FAIL;
            dwReturned = 0;
        }
    }
    *pulReturned = dwReturned;
    KsLogLeave("CKsIrpTarget::SyncIoctl", hr);
    return hr;
}

HRESULT CKsIrpTarget::GetPropertyMulti(REFGUID guidPropertySet, ULONG nProperty, PVOID* ppvBuffer,
                                       ULONG* pcbBuffer) {
    KsTraceScope trace("CKsIrpTarget::GetPropertyMulti()");
    *ppvBuffer = nullptr;
    if (pcbBuffer != nullptr) *pcbBuffer = 0;
    auto* pProperty = static_cast<KSPROPERTY*>(KsAlloc(sizeof(KSPROPERTY)));
    if (pProperty == nullptr) return E_OUTOFMEMORY;
    pProperty->Set = guidPropertySet;
    pProperty->Id = nProperty;
    pProperty->Flags = KSPROPERTY_TYPE_GET;

    ULONG cbNeeded = 0;
    HRESULT hr = SyncIoctl(m_handle.get(), IOCTL_KS_PROPERTY, pProperty, sizeof(KSPROPERTY),
                           nullptr, 0, &cbNeeded);
    if (SUCCEEDED(hr) && cbNeeded != 0) {
        void* pvBuffer = KsAlloc(cbNeeded);
        if (pvBuffer == nullptr) {
            hr = E_OUTOFMEMORY;
        } else {
            ULONG cbReturned = 0;
            hr = SyncIoctl(m_handle.get(), IOCTL_KS_PROPERTY, pProperty, sizeof(KSPROPERTY),
                           pvBuffer, cbNeeded, &cbReturned);
            *ppvBuffer = pvBuffer;
            if (pcbBuffer != nullptr) *pcbBuffer = cbNeeded;
        }
    }
    KsFree(pProperty);
    return hr;
}

HRESULT CKsIrpTarget::SetPropertySimple(REFGUID guidPropertySet, ULONG nProperty, PVOID pvValue,
                                        ULONG cbValue) {
    KsTraceScope trace("CKsIrpTarget::SetPropertySimple()");
    auto* pProperty = static_cast<KSPROPERTY*>(KsAlloc(sizeof(KSPROPERTY)));
    if (pProperty == nullptr) return E_OUTOFMEMORY;
    pProperty->Set = guidPropertySet;
    pProperty->Id = nProperty;
    pProperty->Flags = KSPROPERTY_TYPE_SET;
    // Kernel streaming carries a SET's value in the output buffer.
    HRESULT hr = SyncIoctl(m_handle.get(), IOCTL_KS_PROPERTY, pProperty, sizeof(KSPROPERTY),
                           pvValue, cbValue, nullptr);
    KsFree(pProperty);
    return hr;
}

CKsNode::CKsNode(ULONG ulNodeId, REFGUID guidNodeType)
    : m_ulNodeId(ulNodeId), m_ulTag(kTag), m_guidNodeType(guidNodeType) {
    KsTraceScope trace("CKsNode::CKsNode()");
}

}  // namespace kslib
