#include "cpl/endpoint/topology_walk.h"

#include <audioclient.h>

#include "cpl/endpoint/endpoint_keys.h"

namespace veltrano::cpl {
namespace {

using Microsoft::WRL::ComPtr;

// The adapter part wired to the endpoint's only connector, after checking
// the direction data flows through it.
HRESULT AdapterConnector(IMMDevice* endpoint, DataFlow expected, ComPtr<IPart>& adapter) {
    if (endpoint == nullptr) return E_POINTER;
    ComPtr<IDeviceTopology> topology;
    HRESULT hr = endpoint->Activate(__uuidof(IDeviceTopology), CLSCTX_ALL, nullptr,
                                    reinterpret_cast<void**>(topology.GetAddressOf()));
    if (FAILED(hr)) return hr;
    if (!topology) return E_POINTER;
    ComPtr<IConnector> connector;
    hr = topology->GetConnector(0, &connector);
    if (FAILED(hr)) return hr;
    if (!connector) return E_POINTER;
    ConnectorType type = Unknown_Connector;
    (void)connector->GetType(&type);
    DataFlow flow = In;
    hr = connector->GetDataFlow(&flow);
    if (FAILED(hr)) return hr;
    if (flow != expected) return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    ComPtr<IConnector> other;
    hr = connector->GetConnectedTo(&other);
    if (FAILED(hr)) return hr;
    if (!other) return E_POINTER;
    return other.As(&adapter);
}

// One step along the chain: the first part of the incoming or outgoing
// list of `from`.
HRESULT Step(IPart* from, bool incoming, ComPtr<IPart>& next) {
    ComPtr<IPartsList> parts;
    HRESULT hr = incoming ? from->EnumPartsIncoming(&parts) : from->EnumPartsOutgoing(&parts);
    if (FAILED(hr)) return hr;
    if (!parts) return E_POINTER;
    UINT count = 0;
    (void)parts->GetCount(&count);
    ComPtr<IPart> part;
    hr = parts->GetPart(0, &part);
    if (FAILED(hr)) return hr;
    if (!part) return E_POINTER;
    next = part;
    return S_OK;
}

HRESULT IsConnector(IPart* part, bool* connector) {
    PartType type = Subunit;
    const HRESULT hr = part->GetPartType(&type);
    if (FAILED(hr)) return hr;
    *connector = type == Connector;
    return S_OK;
}

// Steps once and tells whether the part reached is a connector (the walk
// ends there).
HRESULT StepTo(ComPtr<IPart>& current, bool incoming, bool* connector) {
    ComPtr<IPart> next;
    HRESULT hr = Step(current.Get(), incoming, next);
    if (FAILED(hr)) return hr;
    hr = IsConnector(next.Get(), connector);
    if (FAILED(hr)) return hr;
    current = next;
    return S_OK;
}

template <typename Control>
void ActivateInto(IPart* part, ComPtr<Control>& slot) {
    // A part without the control leaves the slot empty.
    if (FAILED(part->Activate(CLSCTX_ALL, __uuidof(Control),
                              reinterpret_cast<void**>(slot.ReleaseAndGetAddressOf())))) {
        slot.Reset();
    }
}

}  // namespace

HRESULT WalkRenderTopology(IMMDevice* endpoint, EndpointRecord* record) {
    if (record == nullptr) return E_POINTER;
    ComPtr<IPart> part;
    HRESULT hr = AdapterConnector(endpoint, In, part);
    if (FAILED(hr)) return hr;
    bool connector = false;
    // The part next to the connector is passed over.
    hr = StepTo(part, true, &connector);
    if (FAILED(hr) || connector) return hr;
    hr = StepTo(part, true, &connector);
    if (FAILED(hr) || connector) return hr;
    ActivateInto(part.Get(), record->volumeParts[0]);
    hr = StepTo(part, true, &connector);
    if (FAILED(hr) || connector) return hr;
    ActivateInto(part.Get(), record->muteParts[0]);
    ComPtr<IPart> last;
    return Step(part.Get(), true, last);
}

HRESULT WalkCaptureTopology(IMMDevice* endpoint, EndpointRecord* record) {
    if (record == nullptr) return E_POINTER;
    ComPtr<IPart> part;
    HRESULT hr = AdapterConnector(endpoint, Out, part);
    if (FAILED(hr)) return hr;
    GUID subtype = GUID_NULL;
    if (SUCCEEDED(part->GetSubType(&subtype))) record->connectorSubtype = subtype;
    bool connector = false;
    hr = StepTo(part, false, &connector);
    if (FAILED(hr) || connector) return hr;
    hr = StepTo(part, false, &connector);
    if (FAILED(hr) || connector) return hr;
    ActivateInto(part.Get(), record->muteParts[0]);
    // Only a line input has a volume part the control panel drives.
    if (IsEqualGUID(record->connectorSubtype, kNodeTypeLineConnector)) {
        hr = StepTo(part, false, &connector);
        if (FAILED(hr) || connector) return hr;
        ActivateInto(part.Get(), record->volumeParts[0]);
    }
    hr = StepTo(part, false, &connector);
    if (FAILED(hr) || connector) return hr;
    ComPtr<IPart> last;
    return Step(part.Get(), false, last);
}

}  // namespace veltrano::cpl
