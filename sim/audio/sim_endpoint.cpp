#include "sim/audio/sim_endpoint.h"

#include <propidl.h>
#include <propsys.h>

#include <cstring>
#include <new>

#include "sim/audio/sim_audio_client.h"
#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_property_store.h"
#include "sim/audio/sim_topology.h"

namespace veltrano::sim {
namespace {

class VirtualEndpoint final : public ComObject<IMMDevice> {
public:
    explicit VirtualEndpoint(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!EndpointActive(*m_state)) return AUDCLNT_E_DEVICE_INVALIDATED;
        if (IsEqualIID(iid, __uuidof(IDeviceTopology))) {
            return NewEndpointTopology(m_state, reinterpret_cast<IDeviceTopology**>(ppv));
        }
        if (IsEqualIID(iid, __uuidof(IAudioEndpointVolume))) {
            return NewEndpointVolume(m_state, reinterpret_cast<IAudioEndpointVolume**>(ppv));
        }
        if (!IsEqualIID(iid, __uuidof(IAudioClient))) return E_NOINTERFACE;
        return NewVirtualAudioClient(m_state, reinterpret_cast<IAudioClient**>(ppv));
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override {
        return NewVirtualPropertyStore(m_state, access, store);
    }
    HRESULT STDMETHODCALLTYPE GetId(LPWSTR* id) override {
        if (id == nullptr) return E_POINTER;
        const size_t bytes = (m_state->id.size() + 1) * sizeof(wchar_t);
        *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (*id == nullptr) return E_OUTOFMEMORY;
        std::memcpy(*id, m_state->id.c_str(), bytes);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetState(DWORD* state) override {
        if (state == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(m_state->controls->lock);
        *state = m_state->controls->state;
        return S_OK;
    }

private:
    std::shared_ptr<EndpointState> m_state;
};

}  // namespace

HRESULT NewVirtualEndpoint(std::shared_ptr<EndpointState> state, IMMDevice** device) {
    auto* object = new (std::nothrow) VirtualEndpoint(std::move(state));
    if (object == nullptr) return E_OUTOFMEMORY;
    *device = object;
    return S_OK;
}

}  // namespace veltrano::sim
