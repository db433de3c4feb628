#pragma once
// The virtual endpoint's IPropertyStore: read-only with STGM_READ, writable
// with STGM_WRITE or STGM_READWRITE (unless writes are denied, as for a
// process without administrator rights). Written values persist with the
// endpoint and are what later stores and audio clients see.

#include <propsys.h>

#include <memory>

#include "sim/audio/sim_state.h"

namespace veltrano::sim {

HRESULT NewVirtualPropertyStore(std::shared_ptr<EndpointState> state, DWORD access,
                                IPropertyStore** store);

}  // namespace veltrano::sim
