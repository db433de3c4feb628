#pragma once
// The kernel-streaming view of the device: which rates and bit depths its
// render and capture pins accept, and (on systems without core audio)
// whether it is there at all.

#include <cstdint>

namespace veltrano::cpl {

// Masks in the panel's order: rate bit i = kPanelRates[i], bits bit j =
// kPanelBits[j].
struct KsCapabilities {
    uint32_t playRateMask = 0;
    uint32_t playBitsMask = 0;
    uint32_t recRateMask = 0;
    uint32_t recBitsMask = 0;
};

// Probes the first audio render filter whose path belongs to (vendor,
// product). Masks stay 0 for whatever cannot be probed.
KsCapabilities ProbeKsCapabilities(uint16_t vendorId, uint16_t productId);

// The first accepted-devices entry with an audio render filter; false when
// none is there.
bool ProbeKsPresence(uint16_t* vendorId, uint16_t* productId);

}  // namespace veltrano::cpl
