#pragma once
// One pin type of a filter and, once instantiated, its pin handle.

#include "kslib/ks_irp_target.h"
#include "platform/win32_headers.h"

namespace kslib {

class CKsFilter;

class CKsPin : public CKsIrpTarget {
public:
    CKsPin(CKsFilter* pFilter, ULONG nId, HRESULT* phr);
    virtual ~CKsPin();

    virtual HRESULT Instantiate(BOOL fLooped = FALSE);
    virtual HRESULT SetState(KSSTATE ksState);

    HRESULT Init();
    void ClosePin();
    HRESULT Reset();
    HRESULT WriteData(PKSSTREAM_HEADER pksStreamHeader, LPOVERLAPPED pOverlapped);
    HRESULT ReadData(PKSSTREAM_HEADER pksStreamHeader, LPOVERLAPPED pOverlapped);

    ULONG GetId();
    KSPIN_DATAFLOW GetDataFlow();
    KSPIN_COMMUNICATION GetCommunication();

    KSSTATE GetState() const { return m_ksState; }
    CKsFilter* GetFilter() const { return m_pFilter; }
    const KSPIN_CINSTANCES& GetInstances() const { return m_ksInstances; }
    const KSPIN_CINSTANCES& GetGlobalInstances() const { return m_ksGlobalInstances; }
    const GUID& GetCategory() const { return m_guidCategory; }
    const WCHAR* GetName() const { return reinterpret_cast<const WCHAR*>(m_szName); }
    PKSPIN_CONNECT GetPinConnect() const { return m_pksPinCreate; }
    ULONG GetPinConnectSize() const { return m_cbPinCreateSize; }
    bool IsLooped() const { return m_fLooped; }

protected:
    // A KSMULTIPLE_ITEM reply kept with its size so its items can be checked.
    struct MultiItemReply {
        PKSMULTIPLE_ITEM pBuffer = nullptr;
        ULONG cbBuffer = 0;
        ULONG cItems = 0;
        void* pFirst = nullptr;
    };
    HRESULT ReadMultiItem(ULONG nProperty, ULONG cbItem, MultiItemReply* pReply);
    static void FreeMultiItem(MultiItemReply* pReply);

    CKsFilter* m_pFilter;
    ULONG m_nId;
    PKSPIN_CONNECT m_pksPinCreate = nullptr;
    ULONG m_cbPinCreateSize = 0;
    MultiItemReply m_interfaces;
    MultiItemReply m_mediums;
    MultiItemReply m_dataRanges;  // item count only; ranges have their own sizes
    KSPIN_DATAFLOW m_ksDataFlow{};
    KSPIN_COMMUNICATION m_ksCommunication{};
    KSPIN_CINSTANCES m_ksInstances{};
    KSPIN_CINSTANCES m_ksGlobalInstances{};
    GUID m_guidCategory{};
    BYTE m_szName[260] = {};
    KSSTATE m_ksState = KSSTATE_STOP;
    bool m_fLooped = false;
    CKsPin* m_pConnectTo = nullptr;
};

}  // namespace kslib
