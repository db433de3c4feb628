// Reading and writing one endpoint's properties by collection index.

#include <cstring>
#include <cwchar>

#include "cpl/endpoint/audio_endpoint_set.h"

namespace veltrano::cpl {
namespace {

constexpr wchar_t kNotAvailable[] = L"<Device not available>";

void CopyText(wchar_t* out, size_t chars, const wchar_t* text) {
    if (out == nullptr || chars == 0) return;
    size_t n = 0;
    if (text != nullptr) {
        while (n + 1 < chars && text[n] != L'\0') ++n;
        std::memcpy(out, text, n * sizeof(wchar_t));
    }
    out[n] = L'\0';
}

bool ValidDirection(int direction) { return direction == kRender || direction == kCapture; }

}  // namespace

HRESULT AudioEndpointSet::ReadProperty(int direction, UINT index, const PROPERTYKEY& key,
                                       wchar_t* text, size_t textChars, void* blob,
                                       size_t blobBytes, size_t* blobCopied, uint32_t* value) {
    if (blobCopied != nullptr) *blobCopied = 0;
    Microsoft::WRL::ComPtr<IMMDevice> device;
    HRESULT hr = E_FAIL;
    if (ValidDirection(direction) && m_player != nullptr) {
        hr = m_player->Item(direction, index, &device);
    }
    if (FAILED(hr)) {
        CopyText(text, textChars, kNotAvailable);
        return hr;
    }
    Microsoft::WRL::ComPtr<IPropertyStore> store;
    hr = device->OpenPropertyStore(STGM_READ, &store);
    if (FAILED(hr)) return hr;
    if (!store) return E_POINTER;
    PROPVARIANT variant;
    PropVariantInit(&variant);
    hr = store->GetValue(key, &variant);
    if (SUCCEEDED(hr)) {
        // Only the output that fits the stored type is filled: a hostile
        // value of another type cannot reach a buffer sized for this one.
        if (variant.vt == VT_LPWSTR && text != nullptr) {
            CopyText(text, textChars, variant.pwszVal);
        } else if (variant.vt == VT_BLOB && blob != nullptr) {
            size_t bytes = variant.blob.pBlobData != nullptr ? variant.blob.cbSize : 0;
            if (bytes > blobBytes) bytes = blobBytes;
            if (bytes > 0) std::memcpy(blob, variant.blob.pBlobData, bytes);
            if (blobCopied != nullptr) *blobCopied = bytes;
        } else if (variant.vt == VT_UI4 && value != nullptr) {
            *value = variant.ulVal;
        }
    }
    PropVariantClear(&variant);
    return hr;
}

HRESULT AudioEndpointSet::WriteProperty(int direction, UINT index, const PROPERTYKEY& key,
                                        const WAVEFORMATEXTENSIBLE& buffer) {
    if (!ValidDirection(direction) || m_player == nullptr) return E_FAIL;
    Microsoft::WRL::ComPtr<IMMDevice> device;
    HRESULT hr = m_player->Item(direction, index, &device);
    if (FAILED(hr)) return hr;
    // Needs administrator rights; the store's refusal is passed on as is.
    Microsoft::WRL::ComPtr<IPropertyStore> store;
    hr = device->OpenPropertyStore(STGM_READWRITE, &store);
    if (FAILED(hr)) return hr;
    if (!store) return E_POINTER;
    // The variant points at a copy the caller does not own; it is never
    // cleared, so nothing frees the caller's memory.
    WAVEFORMATEXTENSIBLE copy = buffer;
    PROPVARIANT variant;
    PropVariantInit(&variant);
    variant.vt = VT_BLOB;
    variant.blob.cbSize = sizeof(copy);
    variant.blob.pBlobData = reinterpret_cast<BYTE*>(&copy);
    return store->SetValue(key, variant);
}

HRESULT AudioEndpointSet::ReadEndpointId(int direction, UINT index,
                                         wchar_t (&id)[kEndpointTextChars]) {
    Microsoft::WRL::ComPtr<IMMDevice> device;
    HRESULT hr = E_FAIL;
    if (ValidDirection(direction) && m_player != nullptr) {
        hr = m_player->Item(direction, index, &device);
    }
    if (FAILED(hr)) {
        CopyText(id, kEndpointTextChars, kNotAvailable);
        return hr;
    }
    LPWSTR text = nullptr;
    hr = device->GetId(&text);
    if (SUCCEEDED(hr)) CopyText(id, kEndpointTextChars, text);
    CoTaskMemFree(text);
    return hr;
}

}  // namespace veltrano::cpl
