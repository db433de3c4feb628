#include "sim/audio/sim_property_store.h"

#include <cstring>
#include <new>
#include <vector>

#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_endpoint.h"
#include "sim/audio/sim_format.h"

namespace veltrano::sim {
namespace {

constexpr PROPERTYKEY kDeviceDescKey = {
    {0xa45c254e, 0xdf1c, 0x4efd, {0x80, 0x20, 0x67, 0xd1, 0x46, 0xa8, 0x50, 0xe0}}, 2};
constexpr PROPERTYKEY kPhysicalSpeakersKey = {
    {0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}}, 3};
constexpr PROPERTYKEY kFullRangeSpeakersKey = {
    {0x1da5d803, 0xd492, 0x4edd, {0x8c, 0x23, 0xe0, 0xc0, 0xff, 0xee, 0x7f, 0x0e}}, 6};

constexpr PROPERTYKEY kFixedKeys[] = {kDevicePathKey,        kFriendlyNameKey,
                                      kDeviceDescKey,        kPhysicalSpeakersKey,
                                      kFullRangeSpeakersKey, kDeviceFormatKey};

HRESULT TextValue(const std::wstring& text, PROPVARIANT* value) {
    const size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    auto* copy = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
    if (copy == nullptr) return E_OUTOFMEMORY;
    std::memcpy(copy, text.c_str(), bytes);
    value->vt = VT_LPWSTR;
    value->pwszVal = copy;
    return S_OK;
}

HRESULT BlobValue(const void* data, size_t bytes, PROPVARIANT* value) {
    auto* blob = static_cast<BYTE*>(CoTaskMemAlloc(bytes > 0 ? bytes : 1));
    if (blob == nullptr) return E_OUTOFMEMORY;
    if (bytes > 0) std::memcpy(blob, data, bytes);
    value->vt = VT_BLOB;
    value->blob.cbSize = static_cast<ULONG>(bytes);
    value->blob.pBlobData = blob;
    return S_OK;
}

HRESULT NumberValue(uint32_t number, PROPVARIANT* value) {
    value->vt = VT_UI4;
    value->ulVal = number;
    return S_OK;
}

HRESULT StoredToVariant(const StoredValue& stored, PROPVARIANT* value) {
    switch (stored.type) {
        case VT_BLOB:
            return BlobValue(stored.blob.data(), stored.blob.size(), value);
        case VT_LPWSTR:
            return TextValue(stored.text, value);
        case VT_UI4:
            return NumberValue(stored.number, value);
        default:
            return S_OK;
    }
}

class VirtualPropertyStore final : public ComObject<IPropertyStore> {
public:
    VirtualPropertyStore(std::shared_ptr<EndpointState> state, bool writable)
        : m_state(std::move(state)), m_writable(writable) {}

    HRESULT STDMETHODCALLTYPE GetCount(DWORD* count) override {
        if (count == nullptr) return E_POINTER;
        *count = static_cast<DWORD>(Keys().size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetAt(DWORD index, PROPERTYKEY* key) override {
        if (key == nullptr) return E_POINTER;
        const std::vector<PROPERTYKEY> keys = Keys();
        if (index >= keys.size()) return E_INVALIDARG;
        *key = keys[index];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override {
        if (value == nullptr) return E_POINTER;
        PropVariantInit(value);
        EndpointControls& c = *m_state->controls;
        {
            std::lock_guard<std::mutex> guard(c.lock);
            if (const StoredValue* stored = FindStored(c, key))
                return StoredToVariant(*stored, value);
        }
        const EndpointControlConfig& k = c.config;
        if (SameKey(key, kDevicePathKey)) {
            if (m_state->config.pathUnreadable) return S_OK;
            switch (k.pathType) {
                case PathValueType::Text:
                    return TextValue(m_state->path, value);
                case PathValueType::Blob:
                    return BlobValue(m_state->path.c_str(), m_state->path.size() * sizeof(wchar_t),
                                     value);
                case PathValueType::Number:
                    return NumberValue(0x1209, value);
            }
            return S_OK;
        }
        if (SameKey(key, kFriendlyNameKey)) return TextValue(m_state->config.friendlyName, value);
        if (SameKey(key, kDeviceDescKey)) return TextValue(k.description, value);
        if (SameKey(key, kPhysicalSpeakersKey)) return NumberValue(k.physicalSpeakers, value);
        if (SameKey(key, kFullRangeSpeakersKey)) return NumberValue(k.fullRangeSpeakers, value);
        if (SameKey(key, kDeviceFormatKey)) {
            const WAVEFORMATEXTENSIBLE format = DeviceFormat(m_state->config);
            const size_t bytes =
                k.formatBlobBytes < sizeof(format) ? k.formatBlobBytes : sizeof(format);
            return BlobValue(&format, bytes, value);
        }
        return S_OK;  // an unknown key reads as VT_EMPTY, as on Windows
    }
    HRESULT STDMETHODCALLTYPE SetValue(REFPROPERTYKEY key, REFPROPVARIANT value) override {
        if (!m_writable) return STG_E_ACCESSDENIED;
        return StoreValue(*m_state, key, value);
    }
    // The endpoint store writes through; Commit has nothing left to do.
    HRESULT STDMETHODCALLTYPE Commit() override { return m_writable ? S_OK : STG_E_ACCESSDENIED; }

private:
    std::vector<PROPERTYKEY> Keys() const {
        std::vector<PROPERTYKEY> keys(std::begin(kFixedKeys), std::end(kFixedKeys));
        std::lock_guard<std::mutex> guard(m_state->controls->lock);
        for (const StoredValue& stored : m_state->controls->written) {
            bool known = false;
            for (const PROPERTYKEY& k : keys) known = known || SameKey(k, stored.key);
            if (!known) keys.push_back(stored.key);
        }
        return keys;
    }

    std::shared_ptr<EndpointState> m_state;
    bool m_writable;
};

}  // namespace

HRESULT NewVirtualPropertyStore(std::shared_ptr<EndpointState> state, DWORD access,
                                IPropertyStore** store) {
    if (store == nullptr) return E_POINTER;
    *store = nullptr;
    const DWORD mode = access & 0x3;
    if ((access & ~DWORD{0x3}) != 0 || mode == 0x3) return E_INVALIDARG;
    const bool writable = mode == STGM_WRITE || mode == STGM_READWRITE;
    // Opening for writing is where Windows checks the caller's rights.
    if (writable && PropertyWritesDenied()) return E_ACCESSDENIED;
    auto* object = new (std::nothrow) VirtualPropertyStore(std::move(state), writable);
    if (object == nullptr) return E_OUTOFMEMORY;
    *store = object;
    return S_OK;
}

}  // namespace veltrano::sim
