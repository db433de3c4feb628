#pragma once
// The virtual endpoint's device topology as Windows presents a USB audio
// function: the endpoint device has one connector, wired to the adapter's
// bridge connector; behind it a chain of parts leads to the streaming pin.
//   speakers:   connector <- node <- volume <- mute <- DAC <- pin
//   line in:    connector -> node -> mute -> volume -> ADC -> pin
//   microphone: connector -> node -> mute -> ADC -> pin
// Render chains are walked with EnumPartsIncoming, capture chains with
// EnumPartsOutgoing. The volume and mute parts activate IAudioVolumeLevel
// and IAudioMute on the endpoint's levels and mute, which its
// IAudioEndpointVolume shares.

// clang-format off
#include <windows.h>
#include <devicetopology.h>
#include <endpointvolume.h>
// clang-format on

#include <memory>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

HRESULT NewEndpointTopology(std::shared_ptr<EndpointState> state, IDeviceTopology** topology);
HRESULT NewEndpointVolume(std::shared_ptr<EndpointState> state, IAudioEndpointVolume** volume);

}  // namespace veltrano::sim
