#pragma once
// The nine device sample rates and the three native DSD rates. Bit i of every
// rate mask in the drivers, the status block and the registry settings stands
// for kRateTable[i].

#include <array>
#include <cstdint>

namespace veltrano {

inline constexpr int kRateCount = 9;
inline constexpr std::array<uint32_t, kRateCount> kRateTable = {
    32000, 44100, 48000, 88200, 96000, 176400, 192000, 352800, 384000};

inline constexpr uint32_t kDsd64Rate = 2822400;
inline constexpr uint32_t kDsd128Rate = 5644800;
inline constexpr uint32_t kDsd256Rate = 11289600;

// Index of rate in kRateTable, or -1.
int RateIndex(uint32_t rate);

// Mask bit of a table rate; 0 for a rate not in the table.
uint32_t RateBit(uint32_t rate);

// True for exactly 2822400, 5644800 or 11289600 (compared as the host's
// double, so 2822400.5 is no DSD rate).
bool IsDsdRate(double rate);

// The 32-bit PCM rate that carries a DSD rate (88200, 176400, 352800), or 0
// when the rate is not a DSD rate.
uint32_t DsdCarrierRate(double rate);

// Host buffer frames per device frame: 32 DSD bits travel in one 32-bit
// device sample.
inline constexpr uint32_t kDsdBitsPerCarrierSample = 32;

}  // namespace veltrano
