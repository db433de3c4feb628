#include "asio/wasapi/endpoint_search.h"

#include <audioclient.h>
#include <ks.h>
#include <ksmedia.h>

#include <cstring>

#include "common/device_path.h"
#include "platform/audio/audio_seam.h"

namespace veltrano::asio {
namespace {

constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// The first endpoint of a collection whose device path is the device's.
HRESULT FirstMatch(IMMDeviceCollection* collection, ComPtr<IMMDevice>& endpoint,
                   FoundEndpoints& found) {
    UINT count = 0;
    const HRESULT hr = collection->GetCount(&count);
    if (FAILED(hr)) return hr;
    for (UINT i = 0; i < count; ++i) {
        char path[kMaxDevicePath] = {};
        ReadEndpointString(collection, i, kEndpointDevicePathKey, path);
        path[kMaxDevicePath - 1] = '\0';
        DevicePathIds ids;
        if (MatchDevicePath(path) == nullptr || !ParseDevicePath(path, &ids)) continue;
        ComPtr<IMMDevice> item;
        if (FAILED(collection->Item(i, &item)) || !item) continue;
        endpoint = item;
        found.vendorId = ids.vendorId;
        found.productId = ids.productId;
        return S_OK;
    }
    return E_FAIL;
}

HRESULT Enumerate(IMMDeviceEnumerator* enumerator, EDataFlow flow,
                  ComPtr<IMMDeviceCollection>& collection) {
    const HRESULT hr = enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE,
                                                      collection.ReleaseAndGetAddressOf());
    if (FAILED(hr)) return hr;
    return collection ? S_OK : E_FAIL;
}

}  // namespace

const PROPERTYKEY kEndpointDevicePathKey = {
    {0xb3f8fa53, 0x0004, 0x438e, {0x90, 0x03, 0x51, 0xa4, 0x6e, 0x13, 0x9b, 0xfc}}, 2};

void ReadEndpointString(IMMDeviceCollection* collection, UINT index, const PROPERTYKEY& key,
                        char* text) {
    ComPtr<IMMDevice> item;
    if (FAILED(collection->Item(index, &item)) || !item) return;
    ComPtr<IPropertyStore> store;
    if (FAILED(item->OpenPropertyStore(STGM_READ, &store)) || !store) return;
    PROPVARIANT value;
    PropVariantInit(&value);
    if (SUCCEEDED(store->GetValue(key, &value))) {
        if (value.vt == VT_LPWSTR && value.pwszVal != nullptr) {
            // Paths longer than the buffer are cut, not refused.
            wchar_t wide[260];
            wcsncpy(wide, value.pwszVal, 259);
            wide[259] = L'\0';
            if (WideCharToMultiByte(CP_ACP, 0, wide, -1, text, 260, nullptr, nullptr) == 0) {
                text[0] = '\0';
            }
            text[259] = '\0';
        } else if (value.vt == VT_BLOB && value.blob.pBlobData != nullptr) {
            std::memcpy(text, value.blob.pBlobData,
                        value.blob.cbSize < 260 ? value.blob.cbSize : 260);
        }
    }
    PropVariantClear(&value);
}

HRESULT SearchEndpoints(bool wantCapture, bool captureRequired, FoundEndpoints& found) {
    found = FoundEndpoints{};
    ComPtr<IMMDeviceEnumerator> enumerator;
    HRESULT hr = platform::CreateDeviceEnumerator(&enumerator);
    if (FAILED(hr)) return hr;
    if (!enumerator) return E_FAIL;

    ComPtr<IMMDeviceCollection> collection;
    hr = Enumerate(enumerator.Get(), eRender, collection);
    if (FAILED(hr)) return hr;
    hr = FirstMatch(collection.Get(), found.render, found);
    if (FAILED(hr)) return hr;
    if (!wantCapture) return S_OK;

    const uint16_t vendorId = found.vendorId;
    const uint16_t productId = found.productId;
    hr = Enumerate(enumerator.Get(), eCapture, collection);
    if (FAILED(hr)) return hr;
    if (FAILED(FirstMatch(collection.Get(), found.capture, found)) && captureRequired) {
        return E_FAIL;
    }
    // The render endpoint names the device the commands go to.
    found.vendorId = vendorId;
    found.productId = productId;
    return S_OK;
}

WAVEFORMATEXTENSIBLE PcmFormat(uint32_t rate, int channels, int container, int valid) {
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = static_cast<WORD>(channels);
    f.Format.nSamplesPerSec = rate;
    f.Format.wBitsPerSample = static_cast<WORD>(container);
    f.Format.nBlockAlign = static_cast<WORD>(container / 8 * channels);
    f.Format.nAvgBytesPerSec = f.Format.nBlockAlign * rate;
    f.Format.cbSize = 22;
    f.Samples.wValidBitsPerSample = static_cast<WORD>(valid);
    switch (channels) {
        case 4:
            f.dwChannelMask = 0x33;
            break;
        case 6:
            f.dwChannelMask = 0x3F;
            break;
        case 8:
            f.dwChannelMask = 0x63F;
            break;
        default:
            f.dwChannelMask = 3;
    }
    f.SubFormat = kSubtypePcm;
    return f;
}

HRESULT ProbeExclusiveFormat(IMMDevice* endpoint, uint32_t rate, int container, int valid) {
    if (endpoint == nullptr) return E_FAIL;
    ComPtr<IAudioClient> client;
    const HRESULT hr = endpoint->Activate(__uuidof(IAudioClient), CLSCTX_INPROC_SERVER, nullptr,
                                          reinterpret_cast<void**>(client.GetAddressOf()));
    if (FAILED(hr)) return hr;
    if (!client) return E_FAIL;
    const WAVEFORMATEXTENSIBLE format = PcmFormat(rate, 2, container, valid);
    return client->IsFormatSupported(AUDCLNT_SHAREMODE_EXCLUSIVE, &format.Format, nullptr);
}

}  // namespace veltrano::asio
