#pragma once
// The audio view of a pin: the pin-creation request with a WAVEFORMATEX data
// format, the pin's audio data ranges and the format-support test.

#include "kslib/ks_list.h"
#include "kslib/ks_pin.h"
#include "platform/win32_headers.h"

namespace kslib {

enum KsPinType { ePinPlain = 0, ePinRender = 1, ePinCapture = 2 };

// IsFormatSupported flags: which parts of a format a data range must cover.
inline constexpr ULONG KS_FORMAT_MATCH_CHANNELS = 2;
inline constexpr ULONG KS_FORMAT_MATCH_BITS = 4;
inline constexpr ULONG KS_FORMAT_MATCH_RATE = 8;
inline constexpr ULONG KS_FORMAT_MATCH_ALL = 15;

class CKsAudPin : public CKsPin {
public:
    CKsAudPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr);
    ~CKsAudPin() override;

    HRESULT Init();
    HRESULT SetFormat(const WAVEFORMATEX* pwfx);
    BOOL IsFormatSupported(const WAVEFORMATEX* pwfx, ULONG ulFlags);

    KsPinType GetPinType() const { return m_ePinType; }
    const CKsList<KSDATARANGE_AUDIO>& DataRanges() const { return m_listDataRange; }
    PKSDATAFORMAT GetDataFormat() const { return m_pksDataFormatWfx; }
    const WAVEFORMATEX* GetFormat() const { return m_pWaveFormatEx; }

protected:
    KsPinType m_ePinType = ePinPlain;

private:
    static void FreeRangeList(CKsList<KSDATARANGE_AUDIO>* pList);

    CKsList<KSDATARANGE_AUDIO> m_listDataRange;
    CKsList<KSDATARANGE_AUDIO> m_listConfigDescriptors;  // released with the ranges; never filled
    PKSDATAFORMAT m_pksDataFormatWfx = nullptr;
    WAVEFORMATEX* m_pWaveFormatEx = nullptr;
};

class CKsAudRenPin : public CKsAudPin {
public:
    CKsAudRenPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr);
};

class CKsAudCapPin : public CKsAudPin {
public:
    CKsAudCapPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr);
};

}  // namespace kslib
