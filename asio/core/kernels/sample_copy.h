#pragma once
// Moving one channel between a host buffer (samples back to back) and an
// interleaved device buffer (one frame of every channel after another). The
// bytes are not converted: the host's sample type is the device format.
//
// These run on the streaming path, once per channel and buffer half, so
// they neither allocate nor lock. 2, 3 and 4-byte samples have their own
// loops (vector loops for 2-channel frames and the stereo pair on x86-64);
// every other shape takes the generic loop, which they must match bit for
// bit. A single-channel copy into interleaved frames may rewrite the other
// channels' bytes between its own first and last sample with the values
// they hold, so no other thread may write the device buffer meanwhile.

#include <cstddef>
#include <cstdint>

namespace veltrano::kernels {

// dst[f * strideBytes + i] = src[f * sampleBytes + i] for every frame f and
// byte i < sampleBytes. dst already points at the channel's first sample.
void CopyToInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                       size_t strideBytes);

// The reverse: dst[f * sampleBytes + i] = src[f * strideBytes + i].
void CopyFromInterleaved(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                         size_t strideBytes);

// Both channels of a 2-channel frame in one pass (channel 0 from left,
// channel 1 from right); equivalent to two CopyToInterleaved calls with
// stride 2 × sampleBytes.
void InterleaveStereo(const uint8_t* left, const uint8_t* right, uint8_t* dst, size_t frames,
                      size_t sampleBytes);

// The reverse of InterleaveStereo.
void DeinterleaveStereo(const uint8_t* src, uint8_t* left, uint8_t* right, size_t frames,
                        size_t sampleBytes);

// The plain per-byte loops, kept as the reference the fast paths are
// checked against.
void CopyToInterleavedGeneric(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                              size_t strideBytes);
void CopyFromInterleavedGeneric(const uint8_t* src, uint8_t* dst, size_t frames, size_t sampleBytes,
                                size_t strideBytes);

}  // namespace veltrano::kernels
