#pragma once
// Sample-width masks: bit 1 = 16 bits, bit 2 = 24 bits, bit 3 = 32 bits.
// Bit 0 is never set by the drivers; masks read from outside (registry,
// status block) may carry any bits and are reduced with kWidthMaskBits.

#include <cstdint>

namespace veltrano {

inline constexpr uint32_t kWidth16Bit = 1u << 1;
inline constexpr uint32_t kWidth24Bit = 1u << 2;
inline constexpr uint32_t kWidth32Bit = 1u << 3;
inline constexpr uint32_t kWidthMaskBits = kWidth16Bit | kWidth24Bit | kWidth32Bit;

// True for 16, 24 and 32.
constexpr bool IsValidWidth(int bits) { return bits == 16 || bits == 24 || bits == 32; }

// The mask bit of a valid width, else 0.
constexpr uint32_t WidthBit(int bits) {
    return bits == 16 ? kWidth16Bit : bits == 24 ? kWidth24Bit : bits == 32 ? kWidth32Bit : 0u;
}

// The widest width a mask allows, from the low four bits: 0 → 0, 1 → 8,
// 2-3 → 16, 4-7 → 24, 8-15 → 32.
constexpr int WidestWidth(uint32_t mask) {
    const uint32_t m = mask & 15u;
    if (m >= 8) return 32;
    if (m >= 4) return 24;
    if (m >= 2) return 16;
    if (m == 1) return 8;
    return 0;
}

// Width choice: the requested width stands when it is valid and in the mask,
// otherwise the widest the mask allows.
constexpr int ChooseWidth(int requested, uint32_t mask) {
    if (IsValidWidth(requested) && (mask & WidthBit(requested)) != 0) return requested;
    return WidestWidth(mask);
}

}  // namespace veltrano
