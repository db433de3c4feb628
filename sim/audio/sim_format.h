#pragma once
// Checking a client's wave format against what a virtual endpoint offers.

// mmreg.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <mmreg.h>
// clang-format on

#include "sim/audio/virtual_audio.h"

namespace veltrano::sim {

struct StreamFormat {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t containerBits = 0;
    uint16_t validBits = 0;
    uint16_t blockAlign = 0;
};

// True when `format` is well formed integer PCM (plain or extensible) that
// the endpoint lists; fills `out`.
bool AcceptsFormat(const VirtualEndpointConfig& config, const WAVEFORMATEX* format,
                   StreamFormat* out);

// The endpoint's device format: its highest listed container at its first
// listed rate, stereo, extensible.
WAVEFORMATEXTENSIBLE DeviceFormat(const VirtualEndpointConfig& config);

}  // namespace veltrano::sim
