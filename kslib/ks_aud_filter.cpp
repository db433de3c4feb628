#include "kslib/ks_aud_filter.h"

#include <new>

#include "kslib/ks_log.h"

namespace kslib {

CKsAudFilter::CKsAudFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr)
    : CKsFilter(pszSymbolicLink, pszFriendlyName, phr) {
    KsTraceScope trace("CKsAudFilter::CKsAudFilter()");
}

HRESULT CKsAudFilter::EnumeratePins() {
    KsTraceScope trace("CKsAudFilter::EnumeratePins()");
    DestroyPins();
    ULONG cPins = 0;
    if (FAILED(GetPinPropertySimple(0, KSPROPSETID_Pin, KSPROPERTY_PIN_CTYPES, &cPins,
                                    sizeof cPins))) {
        KsLog(1, "Failed to retrieve count of pins in audio filter");
        cPins = 0;
    }
    for (ULONG nId = 0; nId < cPins; ++nId) {
        ULONG ulCommunication = 0;
        if (FAILED(GetPinPropertySimple(nId, KSPROPSETID_Pin, KSPROPERTY_PIN_COMMUNICATION,
                                        &ulCommunication, sizeof ulCommunication))) {
            KsLog(1, "Failed to retrieve pin property KSPROPERTY_PIN_COMMUNICATION");
            continue;
        }
        if (ulCommunication != KSPIN_COMMUNICATION_SINK &&
            ulCommunication != KSPIN_COMMUNICATION_SOURCE &&
            ulCommunication != KSPIN_COMMUNICATION_BOTH) {
            KsLog(1, "Pin communication value doesn't make sense");
            continue;
        }
        ULONG ulDataFlow = 0;
        if (FAILED(GetPinPropertySimple(nId, KSPROPSETID_Pin, KSPROPERTY_PIN_DATAFLOW, &ulDataFlow,
                                        sizeof ulDataFlow))) {
            KsLog(1, "Failed to retrieve pin property KSPROPERTY_PIN_DATAFLOW");
            continue;
        }

        HRESULT hrPin = S_OK;
        CKsAudPin* pPin = nullptr;
        if (ulCommunication == KSPIN_COMMUNICATION_SINK && ulDataFlow == KSPIN_DATAFLOW_IN) {
            pPin = new (std::nothrow) CKsAudRenPin(this, nId, &hrPin);
        } else if (ulCommunication == KSPIN_COMMUNICATION_SINK &&
                   ulDataFlow == KSPIN_DATAFLOW_OUT) {
            pPin = new (std::nothrow) CKsAudCapPin(this, nId, &hrPin);
        } else {
            pPin = new (std::nothrow) CKsAudPin(this, nId, &hrPin);
        }

        const char* pszOutOfMemory = nullptr;
        if (pPin == nullptr) {
            pszOutOfMemory = "Failed to create audio pin";
        } else if (FAILED(hrPin)) {
            delete pPin;
            continue;
        } else if (!m_listPins.AddTail(pPin)) {
            delete pPin;
            pszOutOfMemory = "Unable to allocate list entry to save pin in";
        }
        if (pszOutOfMemory != nullptr) {
            KsLog(1, "%s", pszOutOfMemory);
            KsLog(1, "Ran out of memory enumerating pins - deleting all pins");
            DestroyPins();
            return E_OUTOFMEMORY;
        }
    }

    HRESULT hr = ClassifyPins();
    if (AllClassifiedListsEmpty(false)) {
        KsLog(1, "No valid pins found on the filter");
        return E_FAIL;
    }
    return SUCCEEDED(hr) ? S_OK : hr;
}

CKsAudPin* CKsAudFilter::FindViablePinIn(const CKsList<CKsPin>& list, const WAVEFORMATEX* pwfx,
                                         ULONG ulFlags) {
    for (CKsPin* pPin : list) {
        // Every pin an audio filter lists is an audio pin.
        auto* pAudPin = static_cast<CKsAudPin*>(pPin);
        if (pAudPin->IsFormatSupported(pwfx, ulFlags)) return pAudPin;
    }
    return nullptr;
}

CKsAudRenFilter::CKsAudRenFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr)
    : CKsAudFilter(pszSymbolicLink, pszFriendlyName, phr) {
    KsTraceScope trace("CKsAudRenFilter::CKsAudRenFilter()");
    m_eFilterType = eFilterRender;
}

CKsAudPin* CKsAudRenFilter::FindViablePin(const WAVEFORMATEX* pwfx, ULONG ulFlags) {
    KsTraceScope trace("CKsAudRenFilter::FindViablePin()");
    return FindViablePinIn(m_listRenderSinkPins, pwfx, ulFlags);
}

CKsAudCapFilter::CKsAudCapFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr)
    : CKsAudFilter(pszSymbolicLink, pszFriendlyName, phr) {
    KsTraceScope trace("CKsAudCapFilter::CKsAudCapFilter()");
    m_eFilterType = eFilterCapture;
}

CKsAudPin* CKsAudCapFilter::FindViablePin(const WAVEFORMATEX* pwfx, ULONG ulFlags) {
    KsTraceScope trace("CKsAudCapFilter::FindViablePin()");
    return FindViablePinIn(m_listCaptureSinkPins, pwfx, ulFlags);
}

}  // namespace kslib
