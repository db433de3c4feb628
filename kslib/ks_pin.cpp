#include "kslib/ks_pin.h"

#include "kslib/ks_filter.h"
#include "kslib/ks_heap.h"
#include "kslib/ks_log.h"
#include "kslib/ks_reply.h"
#include "platform/ks_device.h"

namespace kslib {

CKsPin::CKsPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr) : m_pFilter(pFilter), m_nId(nId) {
    KsTraceScope trace("CKsPin::CKsPin()");
    *phr = Init();
}

CKsPin::~CKsPin() {
    KsTraceScope trace("CKsPin::~CKsPin()");
    ClosePin();
    KsFree(m_pksPinCreate);
    m_pksPinCreate = nullptr;
    FreeMultiItem(&m_dataRanges);
    FreeMultiItem(&m_interfaces);
    FreeMultiItem(&m_mediums);
}

void CKsPin::FreeMultiItem(MultiItemReply* pReply) {
    KsFree(pReply->pBuffer);
    *pReply = MultiItemReply{};
}

HRESULT CKsPin::ReadMultiItem(ULONG nProperty, ULONG cbItem, MultiItemReply* pReply) {
    FreeMultiItem(pReply);
    void* pvBuffer = nullptr;
    ULONG cbBuffer = 0;
    HRESULT hr =
        m_pFilter->GetPinPropertyMulti(m_nId, KSPROPSETID_Pin, nProperty, &pvBuffer, &cbBuffer);
    pReply->pBuffer = static_cast<PKSMULTIPLE_ITEM>(pvBuffer);
    pReply->cbBuffer = cbBuffer;
    if (FAILED(hr)) return hr;
    if (cbItem != 0) {
        kswire::ItemView view;
        if (!kswire::ParseMultipleItem(pvBuffer, cbBuffer, cbItem, &view)) return E_FAIL;
        pReply->cItems = view.count;
        pReply->pFirst = const_cast<uint8_t*>(view.first);
    } else if (pvBuffer != nullptr && cbBuffer >= sizeof(KSMULTIPLE_ITEM)) {
        pReply->cItems = pReply->pBuffer->Count;
        pReply->pFirst = pReply->pBuffer + 1;
    } else {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT CKsPin::Init() {
    KsTraceScope trace("CKsPin::Init()");
    HRESULT hrResult = S_OK;
    auto simple = [&](ULONG nProperty, void* pv, ULONG cb, const char* pszFailure) {
        if (FAILED(m_pFilter->GetPinPropertySimple(m_nId, KSPROPSETID_Pin, nProperty, pv, cb))) {
            KsLog(3, pszFailure, static_cast<int>(m_nId));
            hrResult = S_FALSE;
        }
    };
    auto multi = [&](ULONG nProperty, ULONG cbItem, MultiItemReply* pReply,
                     const char* pszFailure) {
        if (FAILED(ReadMultiItem(nProperty, cbItem, pReply))) {
            KsLog(3, pszFailure, static_cast<int>(m_nId));
            hrResult = S_FALSE;
        }
    };

    simple(KSPROPERTY_PIN_COMMUNICATION, &m_ksCommunication, sizeof m_ksCommunication,
           "Failed to retrieve pin property KSPROPERTY_PIN_COMMUNICATION on PinID: %d");
    multi(KSPROPERTY_PIN_INTERFACES, sizeof(KSPIN_INTERFACE), &m_interfaces,
          "Failed to retrieve pin property KSPROPETY_PIN_INTERFACES on PinID: %d");
    multi(KSPROPERTY_PIN_MEDIUMS, sizeof(KSPIN_MEDIUM), &m_mediums,
          "Failed to retrieve pin property KSPROPERTY_PIN_MEDIUMS on PinID: %d");
    multi(KSPROPERTY_PIN_DATARANGES, 0, &m_dataRanges,
          "Failed to retrieve pin property KSPROPERTY_PIN_DATARANGES on PinID: %d");
    simple(KSPROPERTY_PIN_DATAFLOW, &m_ksDataFlow, sizeof m_ksDataFlow,
           "Failed to retrieve pin property KSPROPERTY_PIN_DATAFLOW on PinID: %d");
    simple(KSPROPERTY_PIN_CINSTANCES, &m_ksInstances, sizeof m_ksInstances,
           "Failed to retrieve pin property KSPROPERTY_PIN_CINSTANCES on PinID: %d");
    simple(KSPROPERTY_PIN_GLOBALCINSTANCES, &m_ksGlobalInstances, sizeof m_ksGlobalInstances,
           "Failed to retrieve pin property KSPROPERTY_PIN_GLOBALCINSTANCES on PinID: %d");
    simple(KSPROPERTY_PIN_CATEGORY, &m_guidCategory, sizeof m_guidCategory,
           "Failed to retrieve pin property KSPROPERTY_PIN_CATEGORY on PinID: %d");
    simple(KSPROPERTY_PIN_NAME, m_szName, sizeof m_szName - 1,
           "Failed to retrieve pin property KSPROPERTY_PIN_NAME on PinID: %d");
    return hrResult;
}

void CKsPin::ClosePin() {
    KsTraceScope trace("CKsPin::ClosePin()");
    if (m_handle) {
        SetState(KSSTATE_STOP);
        m_handle.Reset();
    }
}

HRESULT CKsPin::Instantiate(BOOL fLooped) {
    KsTraceScope trace("CKsPin::Instantiate()");
    if (m_pksPinCreate == nullptr) return S_OK;
    // A second creation (a retry with another format) must not leave the
    // first instance open: the device counts instances and would refuse.
    ClosePin();
    if (m_pConnectTo != nullptr) m_pksPinCreate->PinToHandle = m_pConnectTo->GetHandle();
    m_pksPinCreate->Interface.Id =
        fLooped ? KSINTERFACE_STANDARD_LOOPED_STREAMING : KSINTERFACE_STANDARD_STREAMING;
    m_fLooped = fLooped != FALSE;

    HANDLE hPin = INVALID_HANDLE_VALUE;
    const DWORD dwResult = platform::KsCreatePin(m_pFilter->GetHandle(), m_pksPinCreate,
                                                 GENERIC_READ | GENERIC_WRITE, &hPin);
    if (dwResult == 0) {
        m_handle.Reset(hPin);
        m_ksState = KSSTATE_STOP;
        return S_OK;
    }
    const LONG lResult = static_cast<LONG>(dwResult);
    const HRESULT hr =
        lResult > 0 ? static_cast<HRESULT>(0x80070000u | (dwResult & 0xFFFF)) : lResult;
    KsLog(1, "Failed to instantiate pin. hr=0x%08lx", static_cast<unsigned long>(hr));
    return hr;
}

HRESULT CKsPin::SetState(KSSTATE ksState) {
    KsTraceScope trace("CKsPin::SetState()");
    HRESULT hr = SetPropertySimple(KSPROPSETID_Connection, KSPROPERTY_CONNECTION_STATE, &ksState,
                                   sizeof ksState);
    if (FAILED(hr)) {
        KsLog(1, "Failed to Set Pin State");
    } else {
        m_ksState = ksState;
    }
    return hr;
}

HRESULT CKsPin::Reset() {
    KsTraceScope trace("CKsPin::Reset()");
    KSRESET ksReset = KSRESET_BEGIN;
    HRESULT hr = SyncIoctl(m_handle.get(), IOCTL_KS_RESET_STATE, &ksReset, sizeof ksReset, nullptr,
                           0, nullptr);
    if (FAILED(hr)) KsLog(1, "IOCTL_KS_RESET_STATE failed");
    ksReset = KSRESET_END;
    hr = SyncIoctl(m_handle.get(), IOCTL_KS_RESET_STATE, &ksReset, sizeof ksReset, nullptr, 0,
                   nullptr);
    if (FAILED(hr)) KsLog(1, "IOCTL_KS_RESET_STATE failed");
    return hr;
}

HRESULT CKsPin::WriteData(PKSSTREAM_HEADER pksStreamHeader, LPOVERLAPPED pOverlapped) {
    KsTraceScope trace("CKsPin::WriteData()");
    DWORD dwReturned = 0;
    if (!platform::DeviceIoControl(m_handle.get(), IOCTL_KS_WRITE_STREAM, nullptr, 0,
                                   pksStreamHeader, pksStreamHeader->Size, &dwReturned,
                                   pOverlapped)) {
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_IO_PENDING) {
            KsLog(1, "CKsPin::WriteData's DeviceIoControl Failed!  Error=0x%#08lx", dwError);
            return E_FAIL;
        }
    }
    return S_OK;
}

HRESULT CKsPin::ReadData(PKSSTREAM_HEADER pksStreamHeader, LPOVERLAPPED pOverlapped) {
    KsTraceScope trace("CKsPin::ReadData()");
    DWORD dwReturned = 0;
    if (!platform::DeviceIoControl(m_handle.get(), IOCTL_KS_READ_STREAM, nullptr, 0,
                                   pksStreamHeader, pksStreamHeader->Size, &dwReturned,
                                   pOverlapped)) {
        const DWORD dwError = GetLastError();
        if (dwError != ERROR_IO_PENDING) {
            KsLog(1, "DeviceIoControl Failed!  Error=0x%08lx", dwError);
            return E_FAIL;
        }
    }
    return S_OK;
}

ULONG CKsPin::GetId() {
    KsTraceScope trace("CKsPin::GetId()");
    return m_nId;
}

KSPIN_DATAFLOW CKsPin::GetDataFlow() {
    KsTraceScope trace("CKsPin::GetDataFlow()");
    return m_ksDataFlow;
}

KSPIN_COMMUNICATION CKsPin::GetCommunication() {
    KsTraceScope trace("CKsPin::GetCommunication()");
    return m_ksCommunication;
}

}  // namespace kslib
