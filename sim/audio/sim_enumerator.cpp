#include "sim/audio/sim_enumerator.h"

#include <new>

#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_endpoint.h"
#include "sim/audio/sim_notify.h"

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
    ~VirtualEnumerator() override { DropNotificationClients(this); }

    HRESULT STDMETHODCALLTYPE EnumAudioEndpoints(EDataFlow flow, DWORD mask,
                                                 IMMDeviceCollection** devices) override {
        if (devices == nullptr) return E_POINTER;
        *devices = nullptr;
        if (flow != eRender && flow != eCapture && flow != eAll) return E_INVALIDARG;
        if (FAILED(m_world->enumerationResult)) return m_world->enumerationResult;
        EndpointList list;
        for (const EndpointList* side : {&m_world->render, &m_world->capture}) {
            if ((side == &m_world->render ? eCapture : eRender) == flow) continue;
            for (const auto& endpoint : *side) {
                std::lock_guard<std::mutex> guard(endpoint->controls->lock);
                if ((endpoint->controls->state & mask) != 0) list.push_back(endpoint);
            }
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
    // As on Windows, the client is not AddRef'd: it must unregister before
    // it goes away.
    HRESULT STDMETHODCALLTYPE
    RegisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        return AddNotificationClient(this, client);
    }
    HRESULT STDMETHODCALLTYPE
    UnregisterEndpointNotificationCallback(IMMNotificationClient* client) override {
        return RemoveNotificationClient(this, client);
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
