#pragma once
// The virtual Veltrano-HD as Windows core audio shows it: render and capture
// endpoints behind an IMMDeviceEnumerator, each with a property store and an
// IAudioClient that runs exclusive event-driven streams. The model is strict:
// a format the endpoint does not list, a period Windows would refuse, calls
// in the wrong order, all fail with the code Windows gives.
//
// A test (or the `_sim` driver, from its profile) describes the endpoints
// with VirtualAudioConfig; what render streams receive is recorded so tests
// can compare it with what the host played.

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sim/audio/endpoint_control_config.h"

namespace veltrano::sim {

struct SampleContainer {
    uint16_t container;  // bits per sample in the stream
    uint16_t valid;      // significant bits
};

struct VirtualEndpointConfig {
    std::wstring friendlyName = L"Speakers (Veltrano-HD)";
    // The underlying device's path; empty: a USB path with the vendor and
    // product of the accepted-devices table's first entry (or productId).
    std::wstring devicePath;
    uint16_t productId = 0;     // 0: the table's first entry
    uint32_t rateMask = 0x1FF;  // bit i = rate table entry i
    std::vector<SampleContainer> containers = {{16, 16}, {24, 24}, {32, 32}};
    uint32_t minChannels = 1;
    uint32_t maxChannels = 2;
    // Exclusive-mode buffer rules: the buffer in bytes must be a multiple of
    // alignmentBytes (0: any), and the device rounds its buffer up to a
    // multiple of granularityFrames (0: exact).
    uint32_t alignmentBytes = 0;
    uint32_t granularityFrames = 0;
    int64_t defaultPeriod = 100000;  // 100-ns units
    int64_t minimumPeriod = 20000;

    // Faults.
    bool heldByOtherApplication = false;  // exclusive use elsewhere
    bool pathUnreadable = false;          // the device-path property is empty
    uint32_t eventsStopAfterPeriods = 0;  // the engine goes silent (0: never)
    uint32_t eventsStopAfterMs = 0;       // the same, this long after Start

    // Properties, topology and volume as the control panel sees them.
    EndpointControlConfig control;
};

// A capture endpoint with the defaults and its own name.
inline VirtualEndpointConfig CaptureEndpoint() {
    VirtualEndpointConfig config;
    config.friendlyName = L"Line In (Veltrano-HD)";
    return config;
}

struct VirtualAudioConfig {
    std::vector<VirtualEndpointConfig> render{VirtualEndpointConfig{}};
    std::vector<VirtualEndpointConfig> capture{CaptureEndpoint()};
    HRESULT enumeratorResult = S_OK;   // fault: creating the enumerator fails
    HRESULT enumerationResult = S_OK;  // fault: EnumAudioEndpoints fails
    // When set, each render stream's data is written to
    // <folder>\render-<n>.wav (n from 1 in this process) when it closes.
    std::string recordFolder;
};

// What one initialised render stream received, in the stream's format.
struct RenderRecording {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t containerBits = 0;
    uint16_t validBits = 0;
    int64_t period = 0;  // the buffer duration asked for, 100-ns units
    std::vector<uint8_t> data;
};

// Replaces the virtual endpoints. Objects handed out before keep the
// endpoints they were made for.
void ConfigureVirtualAudio(const VirtualAudioConfig& config);

// The configuration the `_sim` driver uses when no test configured one: from
// the profile named by VELTRANO_SIM_PROFILE (defaults without one), with the
// record folder from VELTRANO_SIM_RECORD.
VirtualAudioConfig ConfigFromEnvironment();

// Render streams of one render endpoint (by configuration index) that have
// been initialised, oldest first, each with what it received so far.
std::vector<RenderRecording> RenderRecordings(size_t renderIndex);

// Exclusive streams started on any endpoint since the last configuration.
uint32_t StreamsStarted();

// Virtual COM objects alive now: zero once every reference is released.
long LiveVirtualObjects();

// The byte the capture side produces at a frame, channel and byte of its
// sample: a pattern that differs between neighbouring frames and channels.
inline uint8_t CaptureByte(uint64_t frame, uint32_t channel, uint32_t byte) {
    return static_cast<uint8_t>(frame * 7 + channel * 64 + byte * 13 + 1);
}

}  // namespace veltrano::sim
