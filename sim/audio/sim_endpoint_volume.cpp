#include <audioclient.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "sim/audio/sim_controls.h"
#include "sim/audio/sim_notify.h"
#include "sim/audio/sim_topology.h"

namespace veltrano::sim {
namespace {

// IAudioEndpointVolume over the same levels and mute as the topology
// parts: a change through either reaches the callbacks registered here.
// Scalars are linear in dB over the range.
class VirtualEndpointVolume final : public ComObject<IAudioEndpointVolume> {
public:
    explicit VirtualEndpointVolume(std::shared_ptr<EndpointState> state) : m_state(std::move(state)) {}

    HRESULT STDMETHODCALLTYPE RegisterControlChangeNotify(
        IAudioEndpointVolumeCallback* callback) override {
        if (callback == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(C().lock);
        callback->AddRef();
        C().callbacks.push_back(callback);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UnregisterControlChangeNotify(
        IAudioEndpointVolumeCallback* callback) override {
        if (callback == nullptr) return E_POINTER;
        {
            std::lock_guard<std::mutex> guard(C().lock);
            auto& list = C().callbacks;
            auto it = std::find(list.begin(), list.end(), callback);
            if (it == list.end()) return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
            list.erase(it);
        }
        // No call reaches the callback once this returns.
        WaitForDeliveryInProgress();
        callback->Release();
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetChannelCount(UINT* count) override {
        if (count == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(C().lock);
        *count = static_cast<UINT>(C().levels.size());
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevel(float levelDb, LPCGUID context) override {
        std::vector<float> levels;
        {
            std::lock_guard<std::mutex> guard(C().lock);
            levels.assign(C().levels.size(), levelDb);
        }
        return SetAllLevels(*m_state, levels.data(), static_cast<UINT>(levels.size()), context);
    }
    HRESULT STDMETHODCALLTYPE SetMasterVolumeLevelScalar(float scalar, LPCGUID context) override {
        if (!(scalar >= 0.0f && scalar <= 1.0f)) return E_INVALIDARG;
        return SetMasterVolumeLevel(FromScalar(scalar), context);
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevel(float* levelDb) override {
        return GetChannelVolumeLevel(0, levelDb);
    }
    HRESULT STDMETHODCALLTYPE GetMasterVolumeLevelScalar(float* scalar) override {
        return GetChannelVolumeLevelScalar(0, scalar);
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevel(UINT channel, float levelDb,
                                                    LPCGUID context) override {
        return SetChannelLevel(*m_state, channel, levelDb, context);
    }
    HRESULT STDMETHODCALLTYPE SetChannelVolumeLevelScalar(UINT channel, float scalar,
                                                          LPCGUID context) override {
        if (!(scalar >= 0.0f && scalar <= 1.0f)) return E_INVALIDARG;
        return SetChannelLevel(*m_state, channel, FromScalar(scalar), context);
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevel(UINT channel, float* levelDb) override {
        if (levelDb == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(C().lock);
        if (C().state != DEVICE_STATE_ACTIVE) return AUDCLNT_E_DEVICE_INVALIDATED;
        if (channel >= C().levels.size()) return E_INVALIDARG;
        *levelDb = C().levels[channel];
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetChannelVolumeLevelScalar(UINT channel, float* scalar) override {
        if (scalar == nullptr) return E_POINTER;
        float level = 0;
        const HRESULT hr = GetChannelVolumeLevel(channel, &level);
        if (FAILED(hr)) return hr;
        *scalar = ToScalar(level);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetMute(BOOL mute, LPCGUID context) override {
        return SetEndpointMute(*m_state, mute != FALSE, context);
    }
    HRESULT STDMETHODCALLTYPE GetMute(BOOL* mute) override {
        if (mute == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(C().lock);
        if (C().state != DEVICE_STATE_ACTIVE) return AUDCLNT_E_DEVICE_INVALIDATED;
        *mute = C().mute ? TRUE : FALSE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolumeStepInfo(UINT* step, UINT* count) override {
        if (step == nullptr || count == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(C().lock);
        const EndpointControlConfig& k = C().config;
        const float size = k.stepDb > 0 ? k.stepDb : 1.0f;
        *count = static_cast<UINT>(std::lround((k.maximumDb - k.minimumDb) / size)) + 1;
        const float level = C().levels.empty() ? k.maximumDb : C().levels[0];
        *step = static_cast<UINT>(std::lround((level - k.minimumDb) / size));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE VolumeStepUp(LPCGUID context) override { return Step(+1, context); }
    HRESULT STDMETHODCALLTYPE VolumeStepDown(LPCGUID context) override { return Step(-1, context); }
    HRESULT STDMETHODCALLTYPE QueryHardwareSupport(DWORD* mask) override {
        if (mask == nullptr) return E_POINTER;
        *mask = ENDPOINT_HARDWARE_SUPPORT_VOLUME | ENDPOINT_HARDWARE_SUPPORT_MUTE;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolumeRange(float* minimum, float* maximum,
                                             float* increment) override {
        if (minimum == nullptr || maximum == nullptr || increment == nullptr) return E_POINTER;
        std::lock_guard<std::mutex> guard(C().lock);
        *minimum = C().config.minimumDb;
        *maximum = C().config.maximumDb;
        *increment = C().config.stepDb;
        return S_OK;
    }

private:
    EndpointControls& C() { return *m_state->controls; }
    float FromScalar(float scalar) {
        std::lock_guard<std::mutex> guard(C().lock);
        return C().config.minimumDb + scalar * (C().config.maximumDb - C().config.minimumDb);
    }
    float ToScalar(float levelDb) {
        std::lock_guard<std::mutex> guard(C().lock);
        const float span = C().config.maximumDb - C().config.minimumDb;
        return span > 0 ? (levelDb - C().config.minimumDb) / span : 1.0f;
    }
    HRESULT Step(int direction, LPCGUID context) {
        std::vector<float> levels;
        {
            std::lock_guard<std::mutex> guard(C().lock);
            const EndpointControlConfig& k = C().config;
            for (float level : C().levels) {
                levels.push_back(std::clamp(level + direction * k.stepDb, k.minimumDb, k.maximumDb));
            }
        }
        return SetAllLevels(*m_state, levels.data(), static_cast<UINT>(levels.size()), context);
    }

    std::shared_ptr<EndpointState> m_state;
};

}  // namespace

HRESULT NewEndpointVolume(std::shared_ptr<EndpointState> state, IAudioEndpointVolume** volume) {
    if (volume == nullptr) return E_POINTER;
    auto* object = new (std::nothrow) VirtualEndpointVolume(std::move(state));
    if (object == nullptr) return E_OUTOFMEMORY;
    *volume = object;
    return S_OK;
}

}  // namespace veltrano::sim
