#pragma once
// A kernel-streaming filter: its topology nodes and its pins, sorted by data
// flow and communication.

#include "kslib/ks_irp_target.h"
#include "kslib/ks_list.h"
#include "kslib/ks_pin.h"
#include "platform/win32_headers.h"

namespace kslib {

enum KsFilterType { eFilterPlain = 0, eFilterRender = 1, eFilterCapture = 2 };

class CKsFilter : public CKsIrpTarget {
public:
    CKsFilter(LPCSTR pszSymbolicLink, LPCSTR pszFriendlyName, HRESULT* phr);
    virtual ~CKsFilter();

    virtual HRESULT Instantiate();
    virtual HRESULT EnumerateNodes();
    virtual HRESULT EnumeratePins();
    virtual HRESULT DestroyLists();

    HRESULT ClassifyPins();
    HRESULT GetPinPropertySimple(ULONG nPinId, REFGUID guidPropertySet, ULONG nProperty,
                                 PVOID pvValue, ULONG cbValue);
    // *ppvBuffer comes from the library heap (KsFree); *pcbBuffer its size.
    HRESULT GetPinPropertyMulti(ULONG nPinId, REFGUID guidPropertySet, ULONG nProperty,
                                PVOID* ppvBuffer, ULONG* pcbBuffer = nullptr);

    LPCSTR GetSymbolicLink() const { return m_szSymbolicLink; }
    LPCSTR GetFriendlyName() const { return m_szFriendlyName; }
    KsFilterType GetFilterType() const { return m_eFilterType; }

    const CKsList<CKsNode>& Nodes() const { return m_listNodes; }
    const CKsList<CKsPin>& Pins() const { return m_listPins; }
    const CKsList<CKsPin>& RenderSinkPins() const { return m_listRenderSinkPins; }
    const CKsList<CKsPin>& RenderSourcePins() const { return m_listRenderSourcePins; }
    const CKsList<CKsPin>& CaptureSinkPins() const { return m_listCaptureSinkPins; }
    const CKsList<CKsPin>& CaptureSourcePins() const { return m_listCaptureSourcePins; }
    const CKsList<CKsPin>& BridgePins() const { return m_listBridgePins; }

protected:
    void InternalInit();
    void DestroyNodes();
    void DestroyPins();
    void ClearClassifiedLists();
    bool AllClassifiedListsEmpty(bool fIncludeBridge) const;

    CKsList<CKsNode> m_listNodes;
    CKsList<CKsPin> m_listPins;
    CKsList<CKsPin> m_listRenderSinkPins;
    CKsList<CKsPin> m_listCaptureSourcePins;
    CKsList<CKsPin> m_listCaptureSinkPins;
    CKsList<CKsPin> m_listRenderSourcePins;
    CKsList<CKsPin> m_listBridgePins;
    KsFilterType m_eFilterType = eFilterPlain;
    CHAR m_szSymbolicLink[MAX_PATH];
    CHAR m_szFriendlyName[MAX_PATH];
};

}  // namespace kslib
