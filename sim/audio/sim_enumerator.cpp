#include "sim/audio/sim_enumerator.h"

#include <new>

#include "sim/audio/sim_endpoint.h"

namespace veltrano::sim {
namespace {

class VirtualCollection final : public ComObject<IMMDeviceCollection> {
public:
    explicit VirtualCollection(EndpointList endpoints) : m_endpoints(std::move(endpoints)) {}

    HRESULT STDMETHODCALLTYPE GetCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<UINT>(m_endpoints.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Item(UINT index, IMMDevice** device) override {
        if (device == nullptr) return E_POINTER;
        *device = nullptr;
        if (index >= m_endpoints.size()) return E_INVALIDARG;
        return NewVirtualEndpoint(m_endpoints[index], device);
    }

private:
    EndpointList m_endpoints;
};

class VirtualEnumerator final : public ComObject<IMMDeviceEnumerator> {
public:
    explicit VirtualEnumerator(std::shared_ptr<const VirtualWorld> world)
        : m_world(std::move(world)) {}

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** devices) override {
        if (devices == nullptr) return E_POINTER;
        *devices = nullptr;
        if (flow != eRender && flow != eCapture && flow != eAll) return E_INVALIDARG;
        if (FAILED(m_world->enumerationResult)) return m_world->enumerationResult;
        EndpointList list;
        // Every virtual endpoint is active.
        if ((mask & DEVICE_STATE_ACTIVE) != 0) {
            if (flow != eCapture) list = m_world->render;
            if (flow != eRender)
                list.insert(list.end(), m_world->capture.begin(), m_world->capture.end());
        }
        auto* collection = new (std::nothrow) VirtualCollection(std::move(list));
        if (collection == nullptr) return E_OUTOFMEMORY;
        *devices = collection;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDefaultAudioEndpoint(EDataFlow flow, ERole,
                                                      IMMDevice** device) override {
        if (device == nullptr) return E_POINTER;
        *device = nullptr;
        const EndpointList& list = flow == eRender ? m_world->render : m_world->capture;
        if (flow == eAll) return E_INVALIDARG;
        if (list.empty()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
        return NewVirtualEndpoint(list.front(), device);
    }
    HRESULT STDMETHODCALLTYPE GetDevice(LPCWSTR id, IMMDevice** device) override {
        if (device == nullptr || id == nullptr) return E_POINTER;
        *device = nullptr;
        for (const EndpointList* list : {&m_world->render, &m_world->capture}) {
            for (const auto& endpoint : *list) {
                if (endpoint->id == id) return NewVirtualEndpoint(endpoint, device);
            }
        }
        return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    }
    // Notifications are not modelled.
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient*) override {
        return E_NOTIMPL;
    }

private:
    std::shared_ptr<const VirtualWorld> m_world;
};

}  // namespace

HRESULT NewVirtualEnumerator(std::shared_ptr<const VirtualWorld> world,
                             IMMDeviceEnumerator** enumerator) {
    auto* object = new (std::nothrow) VirtualEnumerator(std::move(world));
    if (object == nullptr) return E_OUTOFMEMORY;
    *enumerator = object;
    return S_OK;
}

}  // namespace veltrano::sim
