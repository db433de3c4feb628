#pragma once
// The user's ASIO settings under HKEY_CURRENT_USER. At run time the four
// block settings live in the status block; the sample rate lives in the
// driver object.

#include <cstdint>

namespace veltrano::asio {

class StatusBlock;

inline constexpr uint32_t kDefaultSampleRate = 44100;
inline constexpr uint32_t kDefaultBitsSetting = 16;
inline constexpr uint32_t kDefaultMask = 2;

// Returns the stored "SampleRate" (44100 when unreadable) and, while the
// block is present with `settingsLoaded` 0, loads the four block settings.
uint32_t LoadSettings(StatusBlock& block);

// Writes "SampleRate" and, while the block is present with `settingsLoaded`
// 1, the four block settings.
void SaveSettings(uint32_t pcmRate, const StatusBlock& block);

}  // namespace veltrano::asio
