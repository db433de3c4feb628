#pragma once
// Buffer durations. Settings travel in 0.1 ms units (100 = 10 ms); the
// drivers keep durations in 100-ns units.

#include <array>
#include <cstdint>

namespace veltrano {

inline constexpr std::array<uint32_t, 34> kBufferDurationMs = {
    2,  3,  4,  5,  6,  7,  8,   9,   10,  12,  14,  16,  18,  20,  25,  30,  40,
    50, 60, 70, 80, 90, 100, 125, 150, 175, 200, 250, 300, 350, 400, 450, 500, 600};

inline constexpr uint32_t kMinBufferMs = kBufferDurationMs.front();
inline constexpr uint32_t kMaxBufferMs = kBufferDurationMs.back();

inline constexpr int64_t kDefaultBufferDuration100ns = 100000;  // 10 ms
inline constexpr uint32_t kDefaultBufferSizeSetting = 100;      // 10 ms in 0.1 ms

// A setting in 0.1 ms units as a duration in 100-ns units. Computed in 64
// bits, so every 32-bit setting converts without overflow.
constexpr int64_t SettingToDuration100ns(uint32_t setting) {
    return static_cast<int64_t>(setting) * 1000;
}

// A duration in 100-ns units as a setting in 0.1 ms units.
constexpr uint32_t DurationToSetting(int64_t duration100ns) {
    return duration100ns <= 0 ? 0u : static_cast<uint32_t>(duration100ns / 1000);
}

}  // namespace veltrano
