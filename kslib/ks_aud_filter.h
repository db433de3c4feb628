#pragma once
// Audio filters: pins become audio pin objects; the render and capture
// filters find a pin that can carry a given format.

#include "kslib/ks_aud_pin.h"
#include "kslib/ks_filter.h"

namespace kslib {

class CKsAudFilter : public CKsFilter {
public:
    CKsAudFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr);
    HRESULT EnumeratePins() override;

protected:
    static CKsAudPin* FindViablePinIn(const CKsList<CKsPin>& list, const WAVEFORMATEX* pwfx,
                                      ULONG ulFlags);
};

// FindViablePin returns the common audio-pin type: a sink pin with
// communication "both" is listed too, and it is not a render or capture pin.
class CKsAudRenFilter : public CKsAudFilter {
public:
    CKsAudRenFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr);
    CKsAudPin* FindViablePin(const WAVEFORMATEX* pwfx, ULONG ulFlags);
};

class CKsAudCapFilter : public CKsAudFilter {
public:
    CKsAudCapFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr);
    CKsAudPin* FindViablePin(const WAVEFORMATEX* pwfx, ULONG ulFlags);
};

}  // namespace kslib
