#include "sim/audio/sim_topology.h"

#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "sim/audio/sim_com.h"
#include "sim/audio/sim_controls.h"

namespace veltrano::sim {
namespace {

enum class Role { AdapterConnector, Node, Volume, Mute, Converter, PinConnector };

constexpr GUID kSpeaker = {0xdff21ce1, 0xf70f, 0x11d0, {0xb9, 0x17, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
constexpr GUID kLineConnector = {0xdff21fe3, 0xf70f, 0x11d0, {0xb9, 0x17, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
constexpr GUID kMicrophone = {0xdff21be1, 0xf70f, 0x11d0, {0xb9, 0x17, 0x00, 0xa0, 0xc9, 0x22, 0x31, 0x96}};
constexpr GUID kSum = {0xda441a60, 0xc556, 0x11d0, {0x8a, 0x2b, 0x00, 0xa0, 0xc9, 0x25, 0x5a, 0xc1}};
constexpr GUID kVolume = {0x3a5acc00, 0xc557, 0x11d0, {0x8a, 0x2b, 0x00, 0xa0, 0xc9, 0x25, 0x5a, 0xc1}};
constexpr GUID kMute = {0x02b223c0, 0xc557, 0x11d0, {0x8a, 0x2b, 0x00, 0xa0, 0xc9, 0x25, 0x5a, 0xc1}};
constexpr GUID kDac = {0x507ae360, 0xc554, 0x11d0, {0x8a, 0x2b, 0x00, 0xa0, 0xc9, 0x25, 0x5a, 0xc1}};
constexpr GUID kAdc = {0x4d837fe0, 0xc555, 0x11d0, {0x8a, 0x2b, 0x00, 0xa0, 0xc9, 0x25, 0x5a, 0xc1}};

// Windows' "not found" for a part with nothing beyond it or a connector
// wired to nothing.
constexpr HRESULT kNotFound = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

std::vector<Role> Chain(const EndpointControls& c) {
    std::vector<Role> chain;
    switch (c.kind) {
    case EndpointKind::LineIn:
        chain = {Role::AdapterConnector, Role::Node, Role::Mute, Role::Volume, Role::Converter,
                 Role::PinConnector};
        break;
    case EndpointKind::Microphone:
        chain = {Role::AdapterConnector, Role::Node, Role::Mute, Role::Converter, Role::PinConnector};
        break;
    default:
        chain = {Role::AdapterConnector, Role::Node, Role::Volume, Role::Mute, Role::Converter,
                 Role::PinConnector};
        break;
    }
    for (Role& role : chain) {
        if ((role == Role::Volume && c.config.noVolumePart) ||
            (role == Role::Mute && c.config.noMutePart)) {
            role = Role::Node;
        }
    }
    if (c.config.chainEndsAfter > 0 && c.config.chainEndsAfter + 1 < chain.size()) {
        chain.resize(c.config.chainEndsAfter + 1);
    }
    return chain;
}

HRESULT CopyText(const std::wstring& text, LPWSTR* out) {
    if (out == nullptr) return E_POINTER;
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    *out = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
    if (*out == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*out, text.c_str(), bytes);
    return S_OK;
}

bool Gone(const EndpointState& state) { return !EndpointActive(state); }

class VirtualVolumeLevel final : public IAudioVolumeLevel, private CountedObject {
public:
    explicit VirtualVolumeLevel(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(IPerChannelDbLevel)) ||
            IsEqualIID(riid, __uuidof(IAudioVolumeLevel))) {
            return Answer(static_cast<IAudioVolumeLevel*>(this), ppv);
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* channels) override {
        if (channels == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(Controls().lock);
        *channels = static_cast<UINT>(Controls().levels.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLevelRange(UINT channel, float* minimum, float* maximum,
                                            float* step) override {
        if (minimum == nullptr || maximum == nullptr || step == nullptr) return E_POINTER;
        EndpointControls& c = Controls();
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.state != DEVICE_STATE_ACTIVE) return kDeviceGone;
        if (channel >= c.levels.size()) return E_INVALIDARG;
        if (static_cast<int>(channel) == c.config.unreadableLevelChannel) {
            return HRESULT_FROM_WIN32(ERROR_GEN_FAILURE);
        }
        *minimum = c.config.minimumDb;
        *maximum = c.config.maximumDb;
        *step = c.config.stepDb;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetLevel(UINT channel, float* level) override {
        if (level == nullptr) return E_POINTER;
        EndpointControls& c = Controls();
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.state != DEVICE_STATE_ACTIVE) return kDeviceGone;
        if (channel >= c.levels.size()) return E_INVALIDARG;
        *level = c.levels[channel];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetLevel(UINT channel, float level, LPCGUID context) override {
        return SetChannelLevel(*m_state, channel, level, context);
    }
    HRESULT STDMETHODCALLTYPE SetLevelUniform(float level, LPCGUID context) override {
        std::vector<float> levels;
        {
            std::lock_guard<std::mutex> guard(Controls().lock);
            levels.assign(Controls().levels.size(), level);
        }
        return SetAllLevels(*m_state, levels.data(), static_cast<UINT>(levels.size()), context);
    }
    HRESULT STDMETHODCALLTYPE SetLevelAllChannels(float* levels, ULONG count,
                                                  LPCGUID context) override {
        return SetAllLevels(*m_state, levels, count, context);
    }

private:
    EndpointControls& Controls() { return *m_state->controls; }
    std::shared_ptr<EndpointState> m_state;
};

class VirtualMute final : public ComObject<IAudioMute> {
public:
    explicit VirtualMute(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) override {
        return SetEndpointMute(*m_state, mute != FALSE, context);
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        if (mute == nullptr) return E_POINTER;
        EndpointControls& c = *m_state->controls;
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.state != DEVICE_STATE_ACTIVE) return kDeviceGone;
        *mute = c.mute ? TRUE : FALSE;
        return S_OK;
    }

private:
    std::shared_ptr<EndpointState> m_state;
};

// One part: the endpoint device's connector (endpointSide), or the part at
// an index of the adapter's chain. Connectors also answer IConnector.
class VirtualPart final : public IPart, public IConnector, private CountedObject {
public:
    VirtualPart(std::shared_ptr<EndpointState> state, bool endpointSide, size_t index)
        : m_state(std::move(state)), m_endpointSide(endpointSide), m_index(index) {
        std::lock_guard<std::mutex> guard(m_state->controls->lock);
        m_chain = Chain(*m_state->controls);
    }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(IPart))) {
            return Answer(static_cast<IPart*>(this), ppv);
        }
        if (IsEqualIID(riid, __uuidof(IConnector)) && IsConnector()) {
            return Answer(static_cast<IConnector*>(this), ppv);
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return Ref(); }
    ULONG STDMETHODCALLTYPE Release() override { return Unref(); }

    // IPart.
    HRESULT STDMETHODCALLTYPE GetName(LPWSTR* name) override { return CopyText(Name(), name); }
    HRESULT STDMETHODCALLTYPE GetLocalId(UINT* id) override {
        if (id == nullptr) return E_POINTER;
        *id = (m_endpointSide ? 0x10000u : 0x20000u) | static_cast<UINT>(m_index);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetGlobalId(LPWSTR* id) override {
        return CopyText(m_state->id + L"/" + Name(), id);
    }
    HRESULT STDMETHODCALLTYPE GetPartType(PartType* type) override {
        if (type == nullptr) return E_POINTER;
        *type = IsConnector() ? Connector : Subunit;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSubType(GUID* subtype) override {
        if (subtype == nullptr) return E_POINTER;
        *subtype = SubType();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetControlInterfaceCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = (!m_endpointSide && (RoleHere() == Role::Volume || RoleHere() == Role::Mute)) ? 1 : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetControlInterface(UINT, IControlInterface** control) override {
        if (control != nullptr) *control = nullptr;
        return E_NOTIMPL;
    }
    // Render chains lead away from the bridge against the data flow
    // (incoming), capture chains with it (outgoing).
    HRESULT STDMETHODCALLTYPE EnumPartsIncoming(IPartsList** parts) override {
        return Neighbour(m_state->render, parts);
    }
    HRESULT STDMETHODCALLTYPE EnumPartsOutgoing(IPartsList** parts) override {
        return Neighbour(!m_state->render, parts);
    }
    HRESULT STDMETHODCALLTYPE GetTopologyObjects(IDeviceTopology** topology) override {
        if (topology != nullptr) *topology = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Activate(DWORD, REFIID iid, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (Gone(*m_state)) return kDeviceGone;
        if (!m_endpointSide && RoleHere() == Role::Volume &&
            IsEqualIID(iid, __uuidof(IAudioVolumeLevel))) {
            auto* level = new (std::nothrow) VirtualVolumeLevel(m_state);
            if (level == nullptr) return E_OUTOFMEMORY;
            *ppv = static_cast<IAudioVolumeLevel*>(level);
            return S_OK;
        }
        if (!m_endpointSide && RoleHere() == Role::Mute && IsEqualIID(iid, __uuidof(IAudioMute))) {
            auto* mute = new (std::nothrow) VirtualMute(m_state);
            if (mute == nullptr) return E_OUTOFMEMORY;
            *ppv = static_cast<IAudioMute*>(mute);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    HRESULT STDMETHODCALLTYPE RegisterControlChangeCallback(REFGUID,
                                                            IControlChangeNotify*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE UnregisterControlChangeCallback(IControlChangeNotify*) override {
        return E_NOTIMPL;
    }

    // IConnector.
    HRESULT STDMETHODCALLTYPE GetType(ConnectorType* type) override {
        if (type == nullptr) return E_POINTER;
        *type = m_endpointSide ? Software_Fixed : Physical_External;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDataFlow(DataFlow* flow) override {
        if (flow == nullptr) return E_POINTER;
        // The endpoint's connector takes a render stream in and gives a
        // capture stream out; the adapter's side is the reverse.
        bool in = m_state->render;
        {
            std::lock_guard<std::mutex> guard(m_state->controls->lock);
            if (m_state->controls->config.wrongDataFlow) in = !in;
        }
        if (!m_endpointSide) in = !in;
        *flow = in ? In : Out;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE ConnectTo(IConnector*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Disconnect() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE IsConnected(BOOL* connected) override {
        if (connected == nullptr) return E_POINTER;
        *connected = Wired() ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectedTo(IConnector** other) override {
        if (other == nullptr) return E_POINTER;
        *other = nullptr;
        if (!Wired()) return kNotFound;
        auto* part = new (std::nothrow) VirtualPart(m_state, !m_endpointSide, 0);
        if (part == nullptr) return E_OUTOFMEMORY;
        *other = static_cast<IConnector*>(part);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnectorIdConnectedTo(LPWSTR* id) override {
        if (!Wired()) return kNotFound;
        return CopyText(m_state->id + (m_endpointSide ? L"/bridge" : L"/endpoint"), id);
    }
    HRESULT STDMETHODCALLTYPE GetDeviceIdConnectedTo(LPWSTR* id) override {
        if (!Wired()) return kNotFound;
        return CopyText(m_endpointSide ? m_state->id + L"/adapter" : m_state->id, id);
    }

private:
    Role RoleHere() const {
        return m_index < m_chain.size() ? m_chain[m_index] : Role::PinConnector;
    }
    bool IsConnector() const {
        return m_endpointSide || RoleHere() == Role::AdapterConnector ||
               RoleHere() == Role::PinConnector;
    }
    // Only the endpoint connector and the adapter connector are wired to
    // each other; the pin connector leads to the stream, not to a device.
    bool Wired() const {
        if (!m_endpointSide && RoleHere() != Role::AdapterConnector) return false;
        std::lock_guard<std::mutex> guard(m_state->controls->lock);
        return !m_state->controls->config.unconnected;
    }
    GUID SubType() const {
        if (m_endpointSide) return GUID_NULL;
        switch (RoleHere()) {
        case Role::AdapterConnector:
            switch (m_state->controls->kind) {
            case EndpointKind::LineIn: return kLineConnector;
            case EndpointKind::Microphone: return kMicrophone;
            default: return kSpeaker;
            }
        case Role::Node: return kSum;
        case Role::Volume: return kVolume;
        case Role::Mute: return kMute;
        case Role::Converter: return m_state->render ? kDac : kAdc;
        case Role::PinConnector: return GUID_NULL;
        }
        return GUID_NULL;
    }
    std::wstring Name() const {
        if (m_endpointSide) return L"Endpoint connector";
        switch (RoleHere()) {
        case Role::AdapterConnector: return L"Bridge";
        case Role::Node: return L"Sum";
        case Role::Volume: return L"Volume";
        case Role::Mute: return L"Mute";
        case Role::Converter: return m_state->render ? L"DAC" : L"ADC";
        case Role::PinConnector: return L"Stream";
        }
        return L"Part";
    }
    // The next part along the chain (forward) or back towards the adapter
    // connector. The endpoint side and the chain's ends lead nowhere.
    HRESULT Neighbour(bool forward, IPartsList** parts);

    std::shared_ptr<EndpointState> m_state;
    bool m_endpointSide;
    size_t m_index;
    std::vector<Role> m_chain;
};

class VirtualPartsList final : public ComObject<IPartsList> {
public:
    explicit VirtualPartsList(IPart* part) : m_part(part) {}
    ~VirtualPartsList() override { m_part->Release(); }

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetPart(UINT index, IPart** part) override {
        if (part == nullptr) return E_POINTER;
        *part = nullptr;
        if (index != 0) return E_INVALIDARG;
        m_part->AddRef();
        *part = m_part;
        return S_OK;
    }

private:
    IPart* m_part;  // one reference
};

HRESULT VirtualPart::Neighbour(bool forward, IPartsList** parts) {
    if (parts == nullptr) return E_POINTER;
    *parts = nullptr;
    if (m_endpointSide) return kNotFound;
    size_t next = 0;
    if (forward) {
        if (m_index + 1 >= m_chain.size()) return kNotFound;
        next = m_index + 1;
    } else {
        if (m_index == 0) return kNotFound;
        next = m_index - 1;
    }
    auto* part = new (std::nothrow) VirtualPart(m_state, false, next);
    if (part == nullptr) return E_OUTOFMEMORY;
    auto* list = new (std::nothrow) VirtualPartsList(static_cast<IPart*>(part));
    if (list == nullptr) {
        part->Release();
        return E_OUTOFMEMORY;
    }
    *parts = list;
    return S_OK;
}

class VirtualTopology final : public ComObject<IDeviceTopology> {
public:
    explicit VirtualTopology(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE GetConnectorCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetConnector(UINT index, IConnector** connector) override {
        if (connector == nullptr) return E_POINTER;
        *connector = nullptr;
        if (index != 0) return E_INVALIDARG;
        auto* part = new (std::nothrow) VirtualPart(m_state, true, 0);
        if (part == nullptr) return E_OUTOFMEMORY;
        *connector = static_cast<IConnector*>(part);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSubunitCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSubunit(UINT, ISubUnit** subunit) override {
        if (subunit == nullptr) return E_POINTER;
        *subunit = nullptr;
        return E_INVALIDARG;
    }
    HRESULT STDMETHODCALLTYPE GetPartById(UINT, IPart** part) override {
        if (part == nullptr) return E_POINTER;
        *part = nullptr;
        return kNotFound;
    }
    HRESULT STDMETHODCALLTYPE GetDeviceId(LPWSTR* id) override { return CopyText(m_state->id, id); }
    HRESULT STDMETHODCALLTYPE GetSignalPath(IPart*, IPart*, BOOL, IPartsList** parts) override {
        if (parts != nullptr) *parts = nullptr;
        return E_NOTIMPL;
    }

private:
    std::shared_ptr<EndpointState> m_state;
};

}  // namespace

HRESULT NewEndpointTopology(std::shared_ptr<EndpointState> state, IDeviceTopology** topology) {
    if (topology == nullptr) return E_POINTER;
    *topology = nullptr;
    {
        std::lock_guard<std::mutex> guard(state->controls->lock);
        if (FAILED(state->controls->config.topologyActivateResult)) {
            return state->controls->config.topologyActivateResult;
        }
    }
    auto* object = new (std::nothrow) VirtualTopology(std::move(state));
    if (object == nullptr) return E_OUTOFMEMORY;
    *topology = object;
    return S_OK;
}

}  // namespace veltrano::sim
