#pragma once
// The control side of one virtual endpoint: the values written to its
// property store, its plug state, the levels and mute its topology parts
// and IAudioEndpointVolume share, and the endpoint-volume callbacks
// registered on it. A change by any client (or by a test playing another
// program or the Windows mixer) reaches the callbacks on the notification
// thread.

// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <propidl.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
// clang-format on

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

struct StoredValue {
    PROPERTYKEY key;
    VARTYPE type = VT_EMPTY;  // VT_BLOB, VT_LPWSTR or VT_UI4
    std::vector<uint8_t> blob;
    std::wstring text;
    uint32_t number = 0;
};

struct EndpointControls {
    std::mutex lock;  // guards everything below
    EndpointKind kind = EndpointKind::Speakers;  // resolved, never Automatic
    EndpointControlConfig config;
    DWORD state = DEVICE_STATE_ACTIVE;
    std::vector<StoredValue> written;   // the latest value per key written
    std::vector<PROPERTYKEY> writeLog;  // every successful write, in order
    std::vector<float> levels;          // dB per channel
    bool mute = false;
    // Each holds one reference until unregistered.
    std::vector<IAudioEndpointVolumeCallback*> callbacks;
};

std::shared_ptr<EndpointControls> MakeEndpointControls(const VirtualEndpointConfig& config,
                                                       bool render);

bool EndpointActive(const EndpointState& endpoint);

// The device format the endpoint holds: the last one written to its store
// (as far as it reaches), else the endpoint's default.
WAVEFORMATEXTENSIBLE CurrentDeviceFormat(const EndpointState& endpoint);

// Writes of the property store; E_ACCESSDENIED while writes are denied.
bool PropertyWritesDenied();
void SetPropertyWritesDenied(bool denied);
HRESULT StoreValue(EndpointState& endpoint, const PROPERTYKEY& key, const PROPVARIANT& value);
// The value written for a key, if any (under the controls' lock).
const StoredValue* FindStored(const EndpointControls& controls, const PROPERTYKEY& key);

// Level changes with the range check a device applies: a level outside
// [minimum, maximum] is refused with E_INVALIDARG, others are rounded to the
// nearest step. Every change is reported to the endpoint-volume callbacks.
HRESULT SetChannelLevel(EndpointState& endpoint, UINT channel, float levelDb, LPCGUID context);
HRESULT SetAllLevels(EndpointState& endpoint, const float* levelsDb, UINT count, LPCGUID context);
HRESULT SetEndpointMute(EndpointState& endpoint, bool mute, LPCGUID context);

// The callbacks registered on the endpoint get OnNotify on the
// notification thread with the state as it is then.
void QueueVolumeNotification(const std::shared_ptr<EndpointControls>& controls,
                             const GUID& context);

// The endpoint of the current configuration by direction and index.
std::shared_ptr<EndpointState> FindEndpoint(bool render, size_t index);

// The status a removed device gives to requests on its controls.
inline constexpr HRESULT kDeviceGone = HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);

}  // namespace veltrano::sim
