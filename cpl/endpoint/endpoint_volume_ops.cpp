// Volume and mute of the endpoint records, through the topology parts the
// walk found.

#include "cpl/endpoint/audio_endpoint_set.h"

namespace veltrano::cpl {
namespace {

float Clamp(float value, float minimum, float maximum) {
    if (value < minimum) return minimum;
    if (value > maximum) return maximum;
    return value;
}

}  // namespace

HRESULT AudioEndpointSet::SetLevelChecked(IAudioVolumeLevel* part, UINT channel, float levelDb) {
    if (part == nullptr) return E_POINTER;
    float minimum = 0, maximum = 0, step = 0;
    const HRESULT hr = part->GetLevelRange(channel, &minimum, &maximum, &step);
    if (FAILED(hr)) return hr;
    if (levelDb < minimum || levelDb > maximum) return E_FAIL;
    return part->SetLevel(channel, levelDb, nullptr);
}

HRESULT AudioEndpointSet::GetVolume(int direction, int index, float* leftDb, float* rightDb,
                                    float* maximumDb, float* minimumDb, float* stepDb) {
    if (leftDb == nullptr || rightDb == nullptr || maximumDb == nullptr || minimumDb == nullptr ||
        stepDb == nullptr) {
        return E_FAIL;
    }
    EndpointRecord* record = nullptr;
    HRESULT hr = RecordFor(direction, index, &record);
    if (FAILED(hr)) return hr;
    IAudioVolumeLevel* part = record->volumeParts[0].Get();
    if (part == nullptr) return S_OK;
    float minimum = 0, maximum = 0, step = 0, level = 0;
    hr = part->GetLevelRange(0, &minimum, &maximum, &step);
    if (SUCCEEDED(hr)) hr = part->GetLevel(0, &level);
    // Without channel 0 there is nothing to show: the caller's outputs
    // stay as they were and it learns why.
    if (FAILED(hr)) return hr;
    *minimumDb = minimum;
    *maximumDb = maximum;
    *stepDb = step;
    *leftDb = level;
    *rightDb = level;
    record->levels[0][0].currentDb = level;
    // A mono part has no channel 1: right follows left.
    if (SUCCEEDED(part->GetLevelRange(1, &minimum, &maximum, &step)) &&
        SUCCEEDED(part->GetLevel(1, &level))) {
        *minimumDb = minimum;
        *maximumDb = maximum;
        *stepDb = step;
        *rightDb = level;
        record->levels[0][1].currentDb = level;
    }
    return S_OK;
}

HRESULT AudioEndpointSet::SetVolume(int direction, int index, float leftDb, float rightDb) {
    EndpointRecord* record = nullptr;
    const HRESULT hr = RecordFor(direction, index, &record);
    if (FAILED(hr)) return hr;
    IAudioVolumeLevel* part = record->volumeParts[0].Get();
    if (part == nullptr) return S_OK;
    const float wanted[2] = {leftDb, rightDb};
    // Only channels whose range the discovery read: an empty level table
    // entry would clamp everything to 0 dB, full volume.
    for (UINT channel = 0; channel < 2 && channel < record->channelCount[0]; ++channel) {
        LevelEntry& level = record->levels[0][channel];
        const float value = Clamp(wanted[channel], level.minimumDb, level.maximumDb);
        if (SUCCEEDED(SetLevelChecked(part, channel, value))) level.currentDb = value;
    }
    return S_OK;
}

HRESULT AudioEndpointSet::GetMute(int direction, int index, BOOL* mute) {
    if (mute == nullptr) return E_FAIL;
    EndpointRecord* record = nullptr;
    HRESULT hr = RecordFor(direction, index, &record);
    if (FAILED(hr)) return hr;
    if (!record->muteParts[0]) return E_FAIL;
    BOOL state = FALSE;
    hr = record->muteParts[0]->GetMute(&state);
    if (FAILED(hr)) return hr;
    *mute = state;
    record->cachedMute = state;
    return hr;
}

HRESULT AudioEndpointSet::SetMute(int direction, int index, BOOL mute) {
    EndpointRecord* record = nullptr;
    HRESULT hr = RecordFor(direction, index, &record);
    if (FAILED(hr)) return hr;
    if (!record->muteParts[0]) return E_FAIL;
    hr = record->muteParts[0]->SetMute(mute != FALSE, nullptr);
    if (SUCCEEDED(hr)) record->cachedMute = mute != FALSE;
    return hr;
}

HRESULT AudioEndpointSet::GetPlaybackVolume(float* leftDb, float* rightDb, float* maximumDb,
                                            float* minimumDb, float* stepDb) {
    return GetVolume(kRender, 0, leftDb, rightDb, maximumDb, minimumDb, stepDb);
}

HRESULT AudioEndpointSet::SetPlaybackVolume(float leftDb, float rightDb) {
    return SetVolume(kRender, 0, leftDb, rightDb);
}

HRESULT AudioEndpointSet::GetRecordVolume(int captureIndex, float* leftDb, float* rightDb,
                                          float* maximumDb, float* minimumDb, float* stepDb) {
    return GetVolume(kCapture, captureIndex, leftDb, rightDb, maximumDb, minimumDb, stepDb);
}

HRESULT AudioEndpointSet::SetRecordVolume(int captureIndex, float leftDb, float rightDb) {
    return SetVolume(kCapture, captureIndex, leftDb, rightDb);
}

HRESULT AudioEndpointSet::GetPlaybackMute(BOOL* mute) { return GetMute(kRender, 0, mute); }
HRESULT AudioEndpointSet::SetPlaybackMute(BOOL mute) { return SetMute(kRender, 0, mute); }

HRESULT AudioEndpointSet::GetRecordMute(int captureIndex, BOOL* mute) {
    return GetMute(kCapture, captureIndex, mute);
}

HRESULT AudioEndpointSet::SetRecordMute(int captureIndex, BOOL mute) {
    return SetMute(kCapture, captureIndex, mute);
}

}  // namespace veltrano::cpl
