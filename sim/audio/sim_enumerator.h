#pragma once
// The virtual IMMDeviceEnumerator and IMMDeviceCollection.

#include <mmdeviceapi.h>

#include <memory>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

HRESULT NewVirtualEnumerator(std::shared_ptr<const VirtualWorld> world,
                             IMMDeviceEnumerator** enumerator);

}  // namespace veltrano::sim
