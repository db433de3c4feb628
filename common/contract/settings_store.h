#pragma once
// The user's ASIO settings under HKEY_CURRENT_USER, in the driver key of
// registry_key.h. At run time the four block settings live in the status
// block; the sample rate lives in the driver object. The drivers load and
// save them all; the control panel saves the two it lets the user choose.

#include <cstdint>

namespace veltrano {

class StatusBlock;

// The value names, as settings already stored carry them (the last one's
// spelling included).
inline constexpr char kSampleRateValue[] = "SampleRate";
inline constexpr char kBufferSizeValue[] = "BufferSize";
inline constexpr char kBitsPerSampleValue[] = "BitsPerSample";
inline constexpr char kSupportedRatesValue[] = "SupportSampleRate";
inline constexpr char kSupportedBitsValue[] = "SupporBitsPerSample";

inline constexpr uint32_t kDefaultSampleRate = 44100;
inline constexpr uint32_t kDefaultBitsSetting = 16;
inline constexpr uint32_t kDefaultMask = 2;

// Returns the stored sample rate (kDefaultSampleRate when unreadable) and, while the
// block is present with `settingsLoaded` 0, loads the four block settings.
uint32_t LoadSettings(StatusBlock& block);

// Writes the sample rate and, while the block is present with `settingsLoaded`
// 1, the four block settings.
void SaveSettings(uint32_t pcmRate, const StatusBlock& block);

}  // namespace veltrano
