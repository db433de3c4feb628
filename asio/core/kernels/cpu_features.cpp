#include "asio/core/kernels/cpu_features.h"

#if VELTRANO_KERNELS_X86_64

#include <cpuid.h>

namespace veltrano::kernels::cpu::detail {
namespace {

// The 256-bit registers are only usable when the system enabled their
// saving (XCR0 bits 1 and 2); a processor with AVX2 under an older system
// would fault on the first such instruction.
bool SystemSavesYmm() {
    unsigned lo = 0;
    unsigned hi = 0;
    __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
    return (lo & 0x6u) == 0x6u;
}

}  // namespace

// CPUID traps to the hypervisor in a virtual machine, so it runs once.
// Racing first calls store the same answer.
std::atomic<int> g_features{-1};

int DetectFeatures() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    int features = 0;
    if (__get_cpuid(1, &a, &b, &c, &d) != 0) {
        if ((c & bit_SSSE3) != 0) features |= kSsse3;
        const bool avx = (c & bit_AVX) != 0 && (c & bit_OSXSAVE) != 0 && SystemSavesYmm();
        if (avx && __get_cpuid_count(7, 0, &a, &b, &c, &d) != 0 && (b & bit_AVX2) != 0) {
            features |= kAvx2;
        }
    }
    g_features.store(features, std::memory_order_relaxed);
    return features;
}

}  // namespace veltrano::kernels::cpu::detail

#endif
