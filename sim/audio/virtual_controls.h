#pragma once
// What happens to the virtual endpoints from outside the program under
// test: another program changes a device format, the Windows mixer moves a
// volume or mute, the user unplugs and plugs the device, the process lacks
// the rights to write endpoint properties. Every change reaches the
// registered notification clients on the virtual audio service's
// notification thread, as on Windows. Also what a test needs to look at
// afterwards.
//
// Endpoints are addressed by direction and configuration index (the order
// of VirtualAudioConfig::render / ::capture); false or an empty result for
// an index that does not exist.

// clang-format off
#include <windows.h>
#include <mmreg.h>
#include <propsys.h>
// clang-format on

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/audio/virtual_audio.h"

namespace veltrano::sim {

// A capture endpoint wired to a microphone connector (mute, no volume part).
inline VirtualEndpointConfig MicrophoneEndpoint() {
    VirtualEndpointConfig config;
    config.friendlyName = L"Microphone (Veltrano-HD)";
    config.control.kind = EndpointKind::Microphone;
    return config;
}

// The endpoint leaves the active state (DEVICE_STATE_UNPLUGGED) or returns
// to it; clients get OnDeviceStateChanged. Active enumerations no longer
// (again) list it; objects already handed out fail their device calls while
// it is away.
bool UnplugEndpoint(bool render, size_t index);
bool PlugEndpoint(bool render, size_t index);

// Another program (or the Sound control panel) stores a device format.
bool SetDeviceFormatExternally(bool render, size_t index, const WAVEFORMATEXTENSIBLE& format);
// The Windows mixer moves a channel's level (dB, within the range) or the
// mute; the endpoint-volume callbacks are told.
bool SetLevelAsMixer(bool render, size_t index, uint32_t channel, float levelDb);
bool SetMuteAsMixer(bool render, size_t index, bool mute);

// Every property-store write (and every open for writing) fails with
// E_ACCESSDENIED, as for a process without administrator rights.
void DenyPropertyWrites(bool deny);

// Inspection.
// Keys written to the endpoint's store, in order, one entry per write.
std::vector<PROPERTYKEY> WrittenKeys(bool render, size_t index);
// The blob stored under a key by a write; false when none was written.
bool WrittenBlob(bool render, size_t index, const PROPERTYKEY& key, std::vector<uint8_t>* blob);
// The device format the endpoint holds now.
bool EndpointDeviceFormat(bool render, size_t index, WAVEFORMATEXTENSIBLE* format);
bool EndpointLevel(bool render, size_t index, uint32_t channel, float* levelDb);
bool EndpointMute(bool render, size_t index, bool* mute);
// Endpoint-volume callbacks registered on all endpoints (each holds a
// reference), and enumerator notification clients.
size_t RegisteredVolumeCallbacks();
size_t RegisteredNotificationClients();
// Returns once every notification caused so far has been delivered.
void WaitForVirtualNotifications();

}  // namespace veltrano::sim
