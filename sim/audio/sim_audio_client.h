#pragma once
// The virtual IAudioClient with its render and capture services.

#include <audioclient.h>

#include <memory>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

HRESULT NewVirtualAudioClient(std::shared_ptr<EndpointState> state, IAudioClient** client);

}  // namespace veltrano::sim
