#include "sim/audio/sim_controls.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <new>

#include "sim/audio/sim_endpoint.h"
#include "sim/audio/sim_format.h"
#include "sim/audio/sim_notify.h"

namespace veltrano::sim {
namespace {

std::atomic<bool> g_writesDenied{false};

// Called with the controls' lock held.
HRESULT CheckedLevel(const EndpointControls& c, UINT channel, float levelDb, float* rounded) {
    if (channel >= c.levels.size()) return E_INVALIDARG;
    const EndpointControlConfig& k = c.config;
    if (!(levelDb >= k.minimumDb && levelDb <= k.maximumDb)) return E_INVALIDARG;
    float value = levelDb;
    if (k.stepDb > 0) {
        value = k.minimumDb + std::round((levelDb - k.minimumDb) / k.stepDb) * k.stepDb;
        if (value > k.maximumDb) value = k.maximumDb;
    }
    *rounded = value;
    return S_OK;
}

// Scalar volume as IAudioEndpointVolume reports it: linear in dB over the
// range.
float Scalar(const EndpointControlConfig& k, float levelDb) {
    const float span = k.maximumDb - k.minimumDb;
    return span > 0 ? (levelDb - k.minimumDb) / span : 1.0f;
}

}  // namespace

std::shared_ptr<EndpointControls> MakeEndpointControls(const VirtualEndpointConfig& config,
                                                       bool render) {
    auto controls = std::make_shared<EndpointControls>();
    controls->config = config.control;
    EndpointKind kind = config.control.kind;
    if (kind == EndpointKind::Automatic)
        kind = render ? EndpointKind::Speakers : EndpointKind::LineIn;
    controls->kind = kind;
    if (controls->config.description.empty()) {
        controls->config.description = kind == EndpointKind::Speakers ? L"Speakers"
                                       : kind == EndpointKind::LineIn ? L"Line In"
                                                                      : L"Microphone";
    }
    controls->levels.assign(config.control.volumeChannels, config.control.initialDb);
    controls->mute = config.control.initialMute;
    return controls;
}

bool EndpointActive(const EndpointState& endpoint) {
    std::lock_guard<std::mutex> guard(endpoint.controls->lock);
    return endpoint.controls->state == DEVICE_STATE_ACTIVE;
}

WAVEFORMATEXTENSIBLE CurrentDeviceFormat(const EndpointState& endpoint) {
    WAVEFORMATEXTENSIBLE format = DeviceFormat(endpoint.config);
    std::lock_guard<std::mutex> guard(endpoint.controls->lock);
    const StoredValue* stored = FindStored(*endpoint.controls, kDeviceFormatKey);
    if (stored != nullptr && stored->type == VT_BLOB) {
        format = WAVEFORMATEXTENSIBLE{};
        std::memcpy(&format, stored->blob.data(),
                    stored->blob.size() < sizeof(format) ? stored->blob.size() : sizeof(format));
    }
    return format;
}

bool PropertyWritesDenied() { return g_writesDenied; }
void SetPropertyWritesDenied(bool denied) { g_writesDenied = denied; }

const StoredValue* FindStored(const EndpointControls& controls, const PROPERTYKEY& key) {
    for (const StoredValue& value : controls.written) {
        if (SameKey(value.key, key)) return &value;
    }
    return nullptr;
}

HRESULT StoreValue(EndpointState& endpoint, const PROPERTYKEY& key, const PROPVARIANT& value) {
    if (PropertyWritesDenied()) return E_ACCESSDENIED;
    StoredValue stored;
    stored.key = key;
    stored.type = value.vt;
    switch (value.vt) {
        case VT_BLOB:
            if (value.blob.cbSize > 0 && value.blob.pBlobData == nullptr) return E_INVALIDARG;
            stored.blob.assign(value.blob.pBlobData, value.blob.pBlobData + value.blob.cbSize);
            break;
        case VT_LPWSTR:
            if (value.pwszVal == nullptr) return E_INVALIDARG;
            stored.text = value.pwszVal;
            break;
        case VT_UI4:
            stored.number = value.ulVal;
            break;
        default:
            return E_INVALIDARG;  // the endpoint's values are blobs, text and numbers
    }
    EndpointControls& c = *endpoint.controls;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.config.writesBeforeRefusal >= 0 &&
            c.writeLog.size() >= static_cast<size_t>(c.config.writesBeforeRefusal)) {
            return E_ACCESSDENIED;
        }
        bool replaced = false;
        for (StoredValue& old : c.written) {
            if (SameKey(old.key, key)) {
                old = stored;
                replaced = true;
            }
        }
        if (!replaced) c.written.push_back(stored);
        c.writeLog.push_back(key);
    }
    NotifyPropertyChanged(endpoint.id, key);
    return S_OK;
}

HRESULT SetChannelLevel(EndpointState& endpoint, UINT channel, float levelDb, LPCGUID context) {
    EndpointControls& c = *endpoint.controls;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.state != DEVICE_STATE_ACTIVE) return kDeviceGone;
        float rounded = 0;
        const HRESULT hr = CheckedLevel(c, channel, levelDb, &rounded);
        if (FAILED(hr)) return hr;
        c.levels[channel] = rounded;
    }
    QueueVolumeNotification(endpoint.controls, context != nullptr ? *context : GUID_NULL);
    return S_OK;
}

HRESULT SetAllLevels(EndpointState& endpoint, const float* levelsDb, UINT count, LPCGUID context) {
    if (levelsDb == nullptr) return E_POINTER;
    EndpointControls& c = *endpoint.controls;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.state != DEVICE_STATE_ACTIVE) return kDeviceGone;
        if (count != c.levels.size()) return E_INVALIDARG;
        std::vector<float> rounded(count);
        for (UINT i = 0; i < count; ++i) {
            const HRESULT hr = CheckedLevel(c, i, levelsDb[i], &rounded[i]);
            if (FAILED(hr)) return hr;
        }
        c.levels = rounded;
    }
    QueueVolumeNotification(endpoint.controls, context != nullptr ? *context : GUID_NULL);
    return S_OK;
}

HRESULT SetEndpointMute(EndpointState& endpoint, bool mute, LPCGUID context) {
    EndpointControls& c = *endpoint.controls;
    {
        std::lock_guard<std::mutex> guard(c.lock);
        if (c.state != DEVICE_STATE_ACTIVE) return kDeviceGone;
        c.mute = mute;
    }
    QueueVolumeNotification(endpoint.controls, context != nullptr ? *context : GUID_NULL);
    return S_OK;
}

void QueueVolumeNotification(const std::shared_ptr<EndpointControls>& controls,
                             const GUID& context) {
    PostToNotificationThread([controls, context] {
        // The state and the callbacks as they are at delivery; a callback
        // unregistered meanwhile is not called.
        std::vector<IAudioEndpointVolumeCallback*> callbacks;
        std::vector<uint8_t> storage;
        {
            std::lock_guard<std::mutex> guard(controls->lock);
            if (controls->callbacks.empty()) return;
            const size_t channels = controls->levels.empty() ? 1 : controls->levels.size();
            storage.assign(sizeof(AUDIO_VOLUME_NOTIFICATION_DATA) + channels * sizeof(float), 0);
            auto* data = reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(storage.data());
            data->guidEventContext = context;
            data->bMuted = controls->mute ? TRUE : FALSE;
            data->nChannels = static_cast<UINT>(controls->levels.size());
            for (size_t i = 0; i < controls->levels.size(); ++i) {
                data->afChannelVolumes[i] = Scalar(controls->config, controls->levels[i]);
            }
            data->fMasterVolume = controls->levels.empty() ? 1.0f : data->afChannelVolumes[0];
            for (IAudioEndpointVolumeCallback* callback : controls->callbacks) {
                callback->AddRef();
                callbacks.push_back(callback);
            }
        }
        auto* data = reinterpret_cast<AUDIO_VOLUME_NOTIFICATION_DATA*>(storage.data());
        for (IAudioEndpointVolumeCallback* callback : callbacks) {
            callback->OnNotify(data);
            callback->Release();
        }
    });
}

}  // namespace veltrano::sim
