#pragma once
// WAV files of what the probe played and recorded. PCM is stored as it was
// streamed; native DSD is stored as 32-bit words at 1/32 of the DSD rate,
// each holding four consecutive DSD bytes with the first one lowest in
// memory: exactly the 32-bit samples the device receives.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/probe/sample_format.h"

namespace veltrano::probe {

inline constexpr size_t kWavHeaderBytes = 44;

struct WavLayout {
    int bitsPerSample = 16;   // WAV sample width
    uint32_t sampleRate = 0;  // WAV frame rate
};

WavLayout WavLayoutFor(SampleFormat format, double asioRate);

// The canonical 44-byte header of an integer PCM WAV file.
std::array<uint8_t, kWavHeaderBytes> WavHeader(int channels, uint32_t sampleRate, int bitsPerSample,
                                               uint32_t dataBytes);

// Interleaves per-channel streams (each `channelBytes` long) into WAV frame
// order. channelBytes is cut to whole WAV samples.
std::vector<uint8_t> Interleave(const std::vector<const uint8_t*>& channels, size_t channelBytes,
                                const WavLayout& layout);

// Writes header and interleaved data; false with a reason on failure (also
// when the data would not fit a WAV file's 32-bit sizes).
bool WriteWavFile(const std::string& path, const std::vector<const uint8_t*>& channels,
                  size_t channelBytes, const WavLayout& layout, std::string& error);

}  // namespace veltrano::probe
