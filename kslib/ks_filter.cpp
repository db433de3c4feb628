#include "kslib/ks_filter.h"

#include <new>

#include "kslib/ks_heap.h"
#include "kslib/ks_log.h"
#include "kslib/ks_reply.h"
#include "platform/ks_device.h"

namespace kslib {
namespace {

void CopyTruncating(CHAR (&dest)[MAX_PATH], LPCSTR pszSource) {
    lstrcpynA(dest, pszSource, MAX_PATH);
}

}  // namespace

CKsFilter::CKsFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr) {
    KsTraceScope trace("CKsFilter::CKsFilter()");
    InternalInit();
    HRESULT hr = S_OK;
    if (pszSymbolicLink == nullptr) {
        KsLog(1, "pszSymbolicLink cannot be NULL");
        hr = E_INVALIDARG;
    }
    if (pszFriendlyName == nullptr) {
        KsLog(1, "pszFriendlyName cannot be NULL");
        hr = E_INVALIDARG;
    }
    if (SUCCEEDED(hr)) {
        CopyTruncating(m_szSymbolicLink, pszSymbolicLink);
        CopyTruncating(m_szFriendlyName, pszFriendlyName);
    }
    *phr = hr;
}

void CKsFilter::InternalInit() {
    m_szSymbolicLink[0] = '\0';
    m_szFriendlyName[0] = '\0';
}

CKsFilter::~CKsFilter() {
    KsTraceScope trace("CKsFilter::~CKsFilter()");
    // Called directly: the derived parts are already gone here.
    CKsFilter::DestroyLists();
    m_handle.Reset();
}

void CKsFilter::DestroyNodes() {
    for (CKsNode* pNode : m_listNodes) delete pNode;
    m_listNodes.RemoveAll();
}

void CKsFilter::ClearClassifiedLists() {
    m_listRenderSinkPins.RemoveAll();
    m_listCaptureSourcePins.RemoveAll();
    m_listCaptureSinkPins.RemoveAll();
    m_listRenderSourcePins.RemoveAll();
    m_listBridgePins.RemoveAll();
}

void CKsFilter::DestroyPins() {
    ClearClassifiedLists();
    for (CKsPin* pPin : m_listPins) delete pPin;
    m_listPins.RemoveAll();
}

HRESULT CKsFilter::DestroyLists() {
    KsTraceScope trace("CKsFilter::DestroyLists()");
    DestroyNodes();
    DestroyPins();
    return S_OK;
}

HRESULT CKsFilter::Instantiate() {
    KsTraceScope trace("CKsFilter::Instantiate()");
    // Closed before the new open: the device is opened without sharing.
    m_handle.Reset();
    m_handle.Reset(platform::CreateFileA(m_szSymbolicLink, GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING,
                                         FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_handle) {
        KsLog(1, "CKsFilter::Instantiate: CreateFile failed for device %s.  ErrorCode = 0x%08lx",
              m_szSymbolicLink, GetLastError());
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CKsFilter::EnumerateNodes() {
    KsTraceScope trace("CKsFilter::EnumerateNodes()");
    DestroyNodes();
    void* pvReply = nullptr;
    ULONG cbReply = 0;
    HRESULT hr =
        GetPropertyMulti(KSPROPSETID_Topology, KSPROPERTY_TOPOLOGY_NODES, &pvReply, &cbReply);
    if (FAILED(hr)) {
        KsLog(4, "Failed to get property KSPROPSETID_Topology.KSPROPERTY_TOPOLOGY_NODES");
        KsFree(pvReply);
        return hr;
    }
    kswire::ItemView view;
    if (!kswire::ParseMultipleItem(pvReply, cbReply, sizeof(GUID), &view)) {
        KsFree(pvReply);
        return pvReply == nullptr ? S_OK : E_FAIL;
    }
    for (ULONG i = 0; i < view.count && SUCCEEDED(hr); ++i) {
        GUID guidType;
        memcpy(&guidType, view.first + i * sizeof(GUID), sizeof guidType);
        CKsNode* pNode = new (std::nothrow) CKsNode(i, guidType);
        if (pNode == nullptr) continue;
        if (!m_listNodes.AddTail(pNode)) {
            delete pNode;
            hr = E_OUTOFMEMORY;
        }
    }
    if (SUCCEEDED(hr) && m_listNodes.Count() != view.count) hr = E_FAIL;
    if (FAILED(hr)) DestroyNodes();
    KsFree(pvReply);
    return hr;
}

HRESULT CKsFilter::EnumeratePins() {
    KsTraceScope trace("CKsFilter::EnumeratePins()");
    DestroyPins();
    ULONG cPins = 0;
    if (SUCCEEDED(GetPinPropertySimple(0, KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, &cPins,
                                       sizeof cPins))) {
        for (ULONG nId = 0; nId < cPins; ++nId) {
            HRESULT hrPin = S_OK;
            CKsPin* pPin = new (std::nothrow) CKsPin(this, nId, &hrPin);
            if (pPin == nullptr) {
                KsLog(1, "Failed to create pin");
                continue;
            }
            if (FAILED(hrPin)) {
                KsLog(1, "Failed to construct pin");
                delete pPin;
            } else if (!m_listPins.AddTail(pPin)) {
                KsLog(1, "Failed to add pin to list");
                delete pPin;
            }
        }
    }
    HRESULT hr = ClassifyPins();
    if (AllClassifiedListsEmpty(true)) {
        KsLog(1, "Filter is not viable. It has no pins.");
        return E_FAIL;
    }
    return hr;
}

bool CKsFilter::AllClassifiedListsEmpty(bool fIncludeBridge) const {
    return m_listRenderSinkPins.IsEmpty() && m_listCaptureSourcePins.IsEmpty() &&
           m_listCaptureSinkPins.IsEmpty() && m_listRenderSourcePins.IsEmpty() &&
           (!fIncludeBridge || m_listBridgePins.IsEmpty());
}

HRESULT CKsFilter::ClassifyPins() {
    KsTraceScope trace("CKsFilter::ClassifyPins()");
    ClearClassifiedLists();
    for (CKsPin* pPin : m_listPins) {
        const bool fIn = pPin->GetDataFlow() == KSPIN_DATAFLOW_IN;
        CKsList<CKsPin>& sinkList = fIn ? m_listRenderSinkPins : m_listCaptureSinkPins;
        CKsList<CKsPin>& sourceList = fIn ? m_listRenderSourcePins : m_listCaptureSourcePins;
        bool fAdded = true;
        switch (pPin->GetCommunication()) {
            case KSPIN_COMMUNICATION_NONE:
                fAdded = m_listBridgePins.AddTail(pPin);
                break;
            case KSPIN_COMMUNICATION_SINK:
                fAdded = sinkList.AddTail(pPin);
                break;
            case KSPIN_COMMUNICATION_SOURCE:
                fAdded = sourceList.AddTail(pPin);
                break;
            case KSPIN_COMMUNICATION_BOTH:
                fAdded = sinkList.AddTail(pPin) && sourceList.AddTail(pPin);
                break;
            default:
                KsLog(5, "Pin communication type not recognized");
                break;
        }
        if (!fAdded) return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT CKsFilter::GetPinPropertySimple(ULONG nPinId, REFGUID guidPropertySet, ULONG nProperty,
                                        PVOID pvValue, ULONG cbValue) {
    KsTraceScope trace("CKsFilter::GetPinPropertySimple()");
    KSP_PIN ksPProp{};
    ksPProp.Property.Set = guidPropertySet;
    ksPProp.Property.Id = nProperty;
    ksPProp.Property.Flags = KSPROPERTY_TYPE_GET;
    ksPProp.PinId = nPinId;
    ksPProp.Reserved = 0;
    return SyncIoctl(m_handle.get(), IOCTL_KS_PROPERTY, &ksPProp, sizeof ksPProp, pvValue, cbValue,
                     nullptr);
}

HRESULT CKsFilter::GetPinPropertyMulti(ULONG nPinId, REFGUID guidPropertySet, ULONG nProperty,
                                       PVOID* ppvBuffer, ULONG* pcbBuffer) {
    KsTraceScope trace("CKsFilter::GetPinPropertyMulti()");
    *ppvBuffer = nullptr;
    if (pcbBuffer != nullptr) *pcbBuffer = 0;
    KSP_PIN ksPProp{};
    ksPProp.Property.Set = guidPropertySet;
    ksPProp.Property.Id = nProperty;
    ksPProp.Property.Flags = KSPROPERTY_TYPE_GET;
    ksPProp.PinId = nPinId;

    ULONG cbNeeded = 0;
    HRESULT hr = SyncIoctl(m_handle.get(), IOCTL_KS_PROPERTY, &ksPProp, sizeof ksPProp, nullptr, 0,
                           &cbNeeded);
    if (FAILED(hr)) return hr;
    if (cbNeeded == 0) return E_FAIL;
    void* pvBuffer = KsAlloc(cbNeeded);
    if (pvBuffer == nullptr) return E_OUTOFMEMORY;
    hr = SyncIoctl(m_handle.get(), IOCTL_KS_PROPERTY, &ksPProp, sizeof ksPProp, pvBuffer, cbNeeded,
                   nullptr);
    if (FAILED(hr)) {
        KsFree(pvBuffer);
        return hr;
    }
    *ppvBuffer = pvBuffer;
    if (pcbBuffer != nullptr) *pcbBuffer = cbNeeded;
    return S_OK;
}

}  // namespace kslib
