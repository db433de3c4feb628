#pragma once
// Buffer sizes and latencies in frames from a rate and a duration. Results
// feed the host's 32-bit longs, so durations are clamped to the buffer table
// before any product is formed.

#include <cstdint>

#include "common/buffer_durations.h"

namespace veltrano::asio {

inline constexpr int64_t kMinDuration100ns = int64_t{kMinBufferMs} * 10000;
inline constexpr int64_t kMaxDuration100ns = int64_t{kMaxBufferMs} * 10000;

// The preferred duration an init settles on: 0 (no setting) means the
// 10 ms default; anything else is held inside the buffer table's range, so
// the preferred size always lies between the minimum and maximum sizes.
constexpr int64_t EffectiveDuration(int64_t duration100ns) {
    if (duration100ns == 0) return kDefaultBufferDuration100ns;
    if (duration100ns < kMinDuration100ns) return kMinDuration100ns;
    if (duration100ns > kMaxDuration100ns) return kMaxDuration100ns;
    return duration100ns;
}

constexpr long FramesFor(uint32_t rate, int64_t duration100ns) {
    return static_cast<long>(int64_t{rate} * EffectiveDuration(duration100ns) / 10000000);
}

// Frames of a whole number of milliseconds (the table's minimum and
// maximum), computed in floating point and truncated.
constexpr long FramesForMs(uint32_t rate, uint32_t ms) {
    return static_cast<long>(static_cast<double>(rate) * ms / 1000.0);
}

// The latency of one buffer before buffers exist. 44100 Hz counts a whole
// 44 frames per millisecond: hosts that compensate latency have always been
// given that figure, and changing it would shift their recordings.
constexpr long LatencyFrames(uint32_t rate, int64_t duration100ns) {
    const int64_t d = EffectiveDuration(duration100ns);
    return rate == 44100 ? static_cast<long>(d * 44 / 10000) : FramesFor(rate, d);
}

}  // namespace veltrano::asio
