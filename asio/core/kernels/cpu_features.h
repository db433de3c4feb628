#pragma once
// What the processor (and, for AVX, the operating system) supports beyond
// the build's baseline. Detected once; later calls read a cached answer
// inline, so the streaming path may ask on every call.

#include <atomic>

#include "asio/core/kernels/vector_unit.h"

namespace veltrano::kernels::cpu {

#if VELTRANO_KERNELS_X86_64
namespace detail {
constexpr int kSsse3 = 1;
constexpr int kAvx2 = 2;
// -1 until detected.
extern std::atomic<int> g_features;
int DetectFeatures();
}  // namespace detail

inline int Features() {
    const int known = detail::g_features.load(std::memory_order_relaxed);
    return known >= 0 ? known : detail::DetectFeatures();
}

inline bool HasSsse3() { return (Features() & detail::kSsse3) != 0; }

// AVX2 instructions and an operating system that saves the 256-bit
// registers across thread switches.
inline bool HasAvx2() { return (Features() & detail::kAvx2) != 0; }
#endif

}  // namespace veltrano::kernels::cpu
