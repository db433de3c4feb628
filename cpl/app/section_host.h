#pragma once
// What the playback and record sections share with the main window besides
// its skin elements. The window owns it: it makes and drops the endpoint set
// and fills the masks from the kernel-streaming probe; the sections keep the
// cached formats and the capture count, which the window's poll compares the
// device against.

#include <cstdint>
#include <memory>

#include "cpl/endpoint/audio_endpoint_set.h"

namespace veltrano::cpl {

struct CachedFormat {
    uint32_t sampleRate = 0;
    uint16_t bitsPerSample = 0;
};

struct EndpointSectionData {
    // Null before the window is initialised and after it shut down; a
    // section whose deletion waits for a running operation may outlive it.
    std::unique_ptr<AudioEndpointSet> endpoints;
    // One bit per rate or bit-depth button, in the panel's order.
    uint32_t playRateMask = 0, playBitsMask = 0, recRateMask = 0, recBitsMask = 0;
    CachedFormat cachedPlayFormat;
    CachedFormat cachedRecFormat;
    int captureEndpointCount = 0;
};

}  // namespace veltrano::cpl
