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
    // Capture only. The engine's period boundaries lag the stream's start
    // by this much (100-ns units, below one period): capture and render
    // clocks of one device keep their own phase.
    int64_t capturePhase = 0;
    // Capture only: packets reach the client late. From boundary
    // latePacketFrom on, every latePacketEvery-th boundary (latePacketCount
    // of them) hands over its packet and signals latePacketDelay (100-ns
    // units) after its time; with latePacketsLost those packets never come
    // (the engine drops them, and the next packet says so).
    uint32_t latePacketFrom = 0;
    uint32_t latePacketCount = 0;
    uint32_t latePacketEvery = 1;
    int64_t latePacketDelay = 0;
    bool latePacketsLost = false;

    // Properties, topology and volume as the control panel sees them.
    EndpointControlConfig control;
    // The device is unplugged this long after a stream starts (0: never):
    // from then on every call answers AUDCLNT_E_DEVICE_INVALIDATED.
    uint32_t unplugAfterMs = 0;
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
    // Every endpoint property write is refused with E_ACCESSDENIED, as for
    // a process without administrator rights (DenyPropertyWrites changes
    // it later).
    bool denyPropertyWrites = false;
    // When set, each render stream's data is written to
    // <folder>\render-<n>.wav (n from 1 in this process) when it closes.
    std::string recordFolder;
};

// What one initialised render stream played, in the stream's format, one
// period per tick of the endpoint's free-running clock: a period the client
// did not release in time plays (and is recorded as) silence and counts as
// a glitch.
struct RenderRecording {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    uint16_t containerBits = 0;
    uint16_t validBits = 0;
    int64_t period = 0;  // the buffer duration asked for, 100-ns units
    // Frames the device plays per period: what the duration asked for came
    // to after rounding, so a period that is no whole number of 100-ns
    // units still plays (and starves for) its full frames.
    uint32_t periodFrames = 0;
    std::vector<uint8_t> data;
    uint32_t glitches = 0;
    // Frame offsets (into data) of the first kMaxGlitchMarks glitches.
    std::vector<uint64_t> glitchFrames;
    uint64_t playedFrames = 0;  // device periods played, data or silence
    // Bytes changed in the endpoint buffer after ReleaseBuffer handed it
    // over, the periods they fell in, and the first kMaxGlitchMarks of
    // those periods' frames. The data holds what was released.
    uint32_t lateWrites = 0;
    uint32_t overwrites = 0;
    std::vector<uint64_t> overwriteFrames;
    // Set when data reached kMaxRecordingBytes and stopped growing.
    bool truncated = false;
};

inline constexpr size_t kMaxGlitchMarks = 4096;
// Inspection records stay bounded however long a host streams: the newest
// recordings per endpoint, each at most this many bytes.
inline constexpr size_t kMaxRecordingsKept = 16;
inline constexpr size_t kMaxRecordingBytes = size_t{64} << 20;

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

// Capture periods the engine produced while the client still held or had
// not read the previous one (the data is lost, the next packet says so).
uint32_t CaptureOverruns(size_t captureIndex);

// Periods each clock has run since the stream last started, by direction
// and configuration index (0 when no stream runs there).
uint64_t EndpointPeriods(bool render, size_t index);

// The clock boundary (0 at the stream's start) in whose period the client
// last took a render buffer or a capture packet on that endpoint, -1 before
// the first: a client that keeps time serves period n between boundaries n
// and n + 1, whenever its thread happened to wake.
int64_t ServedBoundary(bool render, size_t index);

// Unplugs the virtual device now: every audio client call on every endpoint
// answers AUDCLNT_E_DEVICE_INVALIDATED from here on.
void UnplugVirtualDevice();

// Virtual COM objects alive now: zero once every reference is released.
long LiveVirtualObjects();
// References held on them, all objects together.
long LiveVirtualReferences();

// The byte the capture side produces at a frame (counted from the stream's
// start or last Reset), channel and byte of its sample (0 the lowest): the
// sample holds 2 x frame + channel + 1, so every frame differs from its
// neighbours for 2^(8 x bytes - 1) frames and silence is never data.
inline uint8_t CaptureByte(uint64_t frame, uint32_t channel, uint32_t byte) {
    const uint64_t value = frame * 2 + channel + 1;
    return byte < 8 ? static_cast<uint8_t>(value >> (8 * byte)) : 0;
}

// The frame a captured sample of `bytes` bytes (lowest first) came from,
// modulo 2^(8 x bytes - 1); -1 for a sample no frame produces on `channel`.
inline int64_t CaptureFrameOf(const uint8_t* sample, uint32_t bytes, uint32_t channel) {
    uint64_t value = 0;
    for (uint32_t b = 0; b < bytes && b < 8; ++b) value |= uint64_t{sample[b]} << (8 * b);
    if (value == 0 || ((value - 1) & 1) != channel) return -1;
    return static_cast<int64_t>((value - 1) >> 1);
}

}  // namespace veltrano::sim
