#pragma once
// The sample copies between the host's per-channel halves and a pin's
// interleaved device packets, with the DSD-over-PCM scan of the output.
// They run on the streaming path: no allocation, no lock, no wait.

#include "asio/core/driver_state.h"

namespace veltrano::asio::ks {

// The device sample width: native DSD always travels in 32-bit samples,
// whatever width the host last asked about.
int DeviceSampleBits(const DriverState& driver);

// Host output half `half` of every enabled route into packet `packet` of its
// pin. Scans each channel for DSD-over-PCM markers where the format allows
// it, keeps the status block's DSD fields up to date and sets dopDetected.
// True when this copy set dopDetected (the device is then to be told).
bool CopyOutput(DriverState& driver, RateSlot& slot, int packet, int half);

// Packet `packet` of every pin into host input half `half` of its routes.
void CopyInput(RateSlot& slot, int packet, int half, int bitsPerSample);

}  // namespace veltrano::asio::ks
