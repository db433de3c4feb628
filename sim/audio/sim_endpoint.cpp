#include "sim/audio/sim_endpoint.h"

#include <propidl.h>
#include <propsys.h>

#include <cstring>
#include <new>

#include "sim/audio/sim_audio_client.h"
#include "sim/audio/sim_format.h"

namespace veltrano::sim {
namespace {

bool SameKey(const PROPERTYKEY& a, const PROPERTYKEY& b) {
    return IsEqualGUID(a.fmtid, b.fmtid) && a.pid == b.pid;
}

HRESULT WideValue(const std::wstring& text, PROPVARIANT* value) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), bytes);
    value->vt = VT_LPWSTR;
    value->pwszVal = copy;
    return S_OK;
}

class VirtualPropertyStore final : public ComObject<IPropertyStore> {
public:
    explicit VirtualPropertyStore(std::shared_ptr<EndpointState> state)
        : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
        if (count == nullptr) return E_POINTER;
        *count = 3;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
        if (key == nullptr) return E_POINTER;
        static constexpr PROPERTYKEY kKeys[] = {kDevicePathKey, kFriendlyNameKey, kDeviceFormatKey};
        if (index >= 3) return E_INVALIDARG;
        *key = kKeys[index];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        if (value == nullptr) return E_POINTER;
        PropVariantInit(value);
        if (SameKey(key, kDevicePathKey)) {
            if (m_state->config.pathUnreadable) return S_OK;
            return WideValue(m_state->path, value);
        }
        if (SameKey(key, kFriendlyNameKey)) return WideValue(m_state->config.friendlyName, value);
        if (SameKey(key, kDeviceFormatKey)) {
            const WAVEFORMATEXTENSIBLE format = DeviceFormat(m_state->config);
            auto* blob = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(format)));
            if (blob == nullptr) return E_OUTOFMEMORY;
            std::memcpy(blob, &format, sizeof(format));
            value->vt = VT_BLOB;
            value->blob.cbSize = sizeof(format);
            value->blob.pBlobData = blob;
            return S_OK;
        }
        return S_OK;  // an unknown key reads as VT_EMPTY, as on Windows
    }
    // Opened with STGM_READ only.
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY, REFPROPVARIANT) override {
        return STG_E_ACCESSDENIED;
    }
    HRESULT STDMETHODCALLTYPE Commit() override { return STG_E_ACCESSDENIED; }

private:
    std::shared_ptr<EndpointState> m_state;
};

class VirtualEndpoint final : public ComObject<IMMDevice> {
public:
    explicit VirtualEndpoint(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE Activate(REFIID iid, DWORD, PROPVARIANT*, void** ppv) override {
        if (ppv == nullptr) return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(iid, __uuidof(IAudioClient))) return E_NOINTERFACE;
        return NewVirtualAudioClient(m_state, reinterpret_cast<IAudioClient**>(ppv));
    }
    HRESULT STDMETHODCALLTYPE OpenPropertyStore(DWORD access, IPropertyStore** store) override {
        if (store == nullptr) return E_POINTER;
        *store = nullptr;
        if (access != STGM_READ) return E_ACCESSDENIED;
        auto* object = new (std::nothrow) VirtualPropertyStore(m_state);
        if (object == nullptr) return E_OUTOFMEMORY;
        *store = object;
        return S_OK;
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
        *state = DEVICE_STATE_ACTIVE;
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
