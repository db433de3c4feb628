#include "kslib/ks_aud_pin.h"

#include <cstring>

#include "kslib/ks_heap.h"
#include "kslib/ks_log.h"
#include "kslib/ks_reply.h"

namespace kslib {
namespace {

// The request as created: KSPIN_CONNECT, KSDATAFORMAT and a zeroed
// WAVEFORMATEX (154 bytes in a 64-bit process).
constexpr ULONG kConnectAndFormat = sizeof(KSPIN_CONNECT) + sizeof(KSDATAFORMAT);
constexpr ULONG kInitialPinCreateSize = kConnectAndFormat + sizeof(WAVEFORMATEX);

KSDATAFORMAT* DataFormatOf(KSPIN_CONNECT* pConnect) {
    return reinterpret_cast<KSDATAFORMAT*>(pConnect + 1);
}

}  // namespace

CKsAudPin::CKsAudPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr) : CKsPin(pFilter, nId, phr) {
    KsTraceScope trace("CKsAudPin::CKsAudPin()");
    if (FAILED(*phr)) return;
    m_pksPinCreate = static_cast<PKSPIN_CONNECT>(KsAlloc(kInitialPinCreateSize));
    if (m_pksPinCreate == nullptr) {
        KsLog(1, "Failed to allocate m_pksPinCreate");
        *phr = E_OUTOFMEMORY;
        return;
    }
    m_cbPinCreateSize = kInitialPinCreateSize;
    m_pksPinCreate->Interface.Set = KSINTERFACESETID_Standard;
    m_pksPinCreate->Interface.Id = KSINTERFACE_STANDARD_STREAMING;
    m_pksPinCreate->Interface.Flags = 0;
    m_pksPinCreate->Medium.Set = KSMEDIUMSETID_Standard;
    m_pksPinCreate->Medium.Id = KSMEDIUM_TYPE_ANYINSTANCE;
    m_pksPinCreate->Medium.Flags = 0;
    m_pksPinCreate->PinId = nId;
    m_pksPinCreate->PinToHandle = nullptr;
    m_pksPinCreate->Priority.PriorityClass = KSPRIORITY_NORMAL;
    m_pksPinCreate->Priority.PrioritySubClass = 1;

    m_pksDataFormatWfx = DataFormatOf(m_pksPinCreate);
    m_pksDataFormatWfx->FormatSize = sizeof(KSDATAFORMAT) + sizeof(WAVEFORMATEX);
    m_pksDataFormatWfx->MajorFormat = KSDATAFORMAT_TYPE_AUDIO;
    m_pksDataFormatWfx->SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    m_pksDataFormatWfx->Specifier = KSDATAFORMAT_SPECIFIER_WAVEFORMATEX;

    *phr = Init();
}

CKsAudPin::~CKsAudPin() {
    KsTraceScope trace("CKsAudPin::~CKsAudPin()");
    FreeRangeList(&m_listDataRange);
    FreeRangeList(&m_listConfigDescriptors);
    KsFree(m_pWaveFormatEx);
    m_pWaveFormatEx = nullptr;
}

void CKsAudPin::FreeRangeList(CKsList<KSDATARANGE_AUDIO>* pList) {
    for (KSDATARANGE_AUDIO* pRange : *pList) KsFree(pRange);
    pList->RemoveAll();
}

HRESULT CKsAudPin::Init() {
    KsTraceScope trace("CKsAudPin::Init()");
    kswire::ItemView interfaces{static_cast<const uint8_t*>(m_interfaces.pFirst),
                                m_interfaces.cItems, sizeof(KSPIN_INTERFACE)};
    if (!kswire::ContainsIdentifier(interfaces, kswire::kInterfaceSetStandard,
                                    KSINTERFACE_STANDARD_STREAMING)) {
        KsLog(1, "No standard streaming interfaces on the pin");
        return E_FAIL;
    }
    kswire::ItemView mediums{static_cast<const uint8_t*>(m_mediums.pFirst), m_mediums.cItems,
                             sizeof(KSPIN_MEDIUM)};
    if (!kswire::ContainsIdentifier(mediums, kswire::kMediumSetStandard,
                                    KSMEDIUM_TYPE_ANYINSTANCE)) {
        KsLog(1, "No standard streaming mediums on the pin");
        return E_FAIL;
    }

    struct Saver {
        CKsList<KSDATARANGE_AUDIO>* pList;
        HRESULT hr;
    } saver{&m_listDataRange, S_OK};
    auto save = [](void* pvContext, const kswire::DataRangeAudio& range) {
        auto* pSaver = static_cast<Saver*>(pvContext);
        auto* pCopy = static_cast<KSDATARANGE_AUDIO*>(KsAlloc(sizeof(KSDATARANGE_AUDIO)));
        if (pCopy == nullptr) {
            KsLog(1, "Unable to allocate memory to save datarange in");
            pSaver->hr = E_OUTOFMEMORY;
            return;
        }
        memcpy(pCopy, &range, sizeof(KSDATARANGE_AUDIO));
        if (!pSaver->pList->AddTail(pCopy)) {
            KsFree(pCopy);
            KsLog(1, "Unable to allocate list entry to save datarange in");
            pSaver->hr = E_OUTOFMEMORY;
        }
    };
    FreeRangeList(&m_listDataRange);
    bool fConsidered = false;
    const bool fWellFormed = kswire::WalkAudioDataRanges(
        m_dataRanges.pBuffer, m_dataRanges.cbBuffer, save, &saver, &fConsidered);
    if (!fWellFormed) {
        // A reply that does not add up is not trusted at all.
        FreeRangeList(&m_listDataRange);
        fConsidered = false;
    }
    if (!fConsidered) {
        KsLog(1, "No audio dataranges on the pin");
        return E_FAIL;
    }
    return saver.hr;
}

HRESULT CKsAudPin::SetFormat(const WAVEFORMATEX* pwfx) {
    KsTraceScope trace("CKsAudPin::SetFormat()");
    if (pwfx == nullptr || m_pksDataFormatWfx == nullptr) {
        KsLog(1, "pwfx or m_pksDataFormatWfx are NULL");
        return E_FAIL;
    }
    const ULONG cbFormat = pwfx->wFormatTag == WAVE_FORMAT_PCM
                               ? sizeof(WAVEFORMATEX)
                               : sizeof(WAVEFORMATEX) + pwfx->cbSize;
    const ULONG cbNeeded = kConnectAndFormat + cbFormat;
    if (m_cbPinCreateSize != cbNeeded) {
        auto* pNew = static_cast<PKSPIN_CONNECT>(KsAlloc(cbNeeded));
        if (pNew == nullptr) {
            KsLog(1, "Unable to allocate KSPIN_CONNECT structure");
            return E_OUTOFMEMORY;
        }
        memcpy(pNew, m_pksPinCreate, m_cbPinCreateSize < cbNeeded ? m_cbPinCreateSize : cbNeeded);
        KsFree(m_pksPinCreate);
        m_pksPinCreate = pNew;
        m_cbPinCreateSize = cbNeeded;
        m_pksDataFormatWfx = DataFormatOf(m_pksPinCreate);
        m_pksDataFormatWfx->FormatSize = sizeof(KSDATAFORMAT) + cbFormat;
    }
    // A plain PCM format is copied without cbSize's trailing bytes.
    memcpy(m_pksDataFormatWfx + 1, pwfx, cbFormat);
    m_pksDataFormatWfx->SampleSize = pwfx->nChannels * pwfx->wBitsPerSample / 8;

    auto* pCopy = static_cast<WAVEFORMATEX*>(KsAlloc(cbFormat));
    if (pCopy == nullptr) return E_OUTOFMEMORY;
    memcpy(pCopy, pwfx, cbFormat);
    KsFree(m_pWaveFormatEx);
    m_pWaveFormatEx = pCopy;
    return S_OK;
}

BOOL CKsAudPin::IsFormatSupported(const WAVEFORMATEX* pwfx, ULONG ulFlags) {
    KsTraceScope trace("CKsAudPin::IsFormatSupported()");
    if (pwfx == nullptr) return FALSE;
    const size_t cbFormat = pwfx->wFormatTag == WAVE_FORMAT_PCM
                                ? sizeof(WAVEFORMATEX)
                                : sizeof(WAVEFORMATEX) + pwfx->cbSize;
    kswire::FormatQuery query{};
    if (!kswire::QueryFromWaveFormat(pwfx, cbFormat, &query)) return FALSE;
    for (KSDATARANGE_AUDIO* pRange : m_listDataRange) {
        if (kswire::RangeSupports(*reinterpret_cast<const kswire::DataRangeAudio*>(pRange), query,
                                  ulFlags)) {
            return TRUE;
        }
    }
    return FALSE;
}

CKsAudRenPin::CKsAudRenPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr)
    : CKsAudPin(pFilter, nId, phr) {
    KsTraceScope trace("CKsAudRenPin::CKsAudRenPin()");
    m_ePinType = ePinRender;
}

CKsAudCapPin::CKsAudCapPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr)
    : CKsAudPin(pFilter, nId, phr) {
    KsTraceScope trace("CKsAudCapPin::CKsAudCapPin()");
    m_ePinType = ePinCapture;
}

}  // namespace kslib
