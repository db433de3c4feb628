#pragma once
// DSD-over-PCM marker detection. A DoP stream carries 16 DSD bits in the low
// bytes of each 24-bit sample and a marker in the most significant byte:
// 0x05 and 0xFA alternating (per sample, or per pair of samples when a
// player alternates per stereo frame) or the constant 0xAA.

#include <cstddef>
#include <cstdint>

namespace veltrano::kernels {

// Scans one channel's samples (back to back, sampleBytes 3 or 4; the marker
// is the most significant byte). True when every marker follows the
// pattern. The scan stops at the first mismatching block of 48 bytes (or
// sample, after the last whole block). An empty buffer carries no markers
// and is no match.
bool ScanDopMarkers(const uint8_t* samples, size_t frames, size_t sampleBytes);

// The loops a scan can run on: 32-bit words (what 32-bit builds run), SSE2
// and AVX2 vectors. ScanDopMarkers takes the widest the
// processor offers; all stay reachable so they can be checked against each
// other. A loop the processor lacks falls back to the words.
enum class ScanLoop { kWords, kSse2, kAvx2 };
bool ScanLoopAvailable(ScanLoop loop);
bool ScanDopMarkersWith(ScanLoop loop, const uint8_t* samples, size_t frames, size_t sampleBytes);

// Whether a channel is scanned at all: 24-bit samples at 176400 or 352800 Hz,
// or 32-bit samples at those rates unless the host streams native DSD.
bool DopScanApplies(size_t sampleBytes, uint32_t pcmRate, bool nativeDsd);

}  // namespace veltrano::kernels
