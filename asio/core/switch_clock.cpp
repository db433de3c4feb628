#include "asio/core/switch_clock.h"

#include <windows.h>

namespace veltrano::asio {
namespace {

uint32_t Lo(int64_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v)); }
uint32_t Hi(int64_t v) { return static_cast<uint32_t>(static_cast<uint64_t>(v) >> 32); }
int64_t Join(uint32_t hi, uint32_t lo) {
    return static_cast<int64_t>((static_cast<uint64_t>(hi) << 32) | lo);
}

}  // namespace

void SwitchClock::Publish(int64_t position, int64_t timeNs) noexcept {
    const uint32_t s = m_sequence.load(std::memory_order_relaxed);
    m_sequence.store(s + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    m_positionLo.store(Lo(position), std::memory_order_relaxed);
    m_positionHi.store(Hi(position), std::memory_order_relaxed);
    m_timeLo.store(Lo(timeNs), std::memory_order_relaxed);
    m_timeHi.store(Hi(timeNs), std::memory_order_relaxed);
    m_sequence.store(s + 2, std::memory_order_release);
}

SwitchClock::Pair SwitchClock::Read() const noexcept {
    for (unsigned attempt = 0;; ++attempt) {
        const uint32_t before = m_sequence.load(std::memory_order_acquire);
        if ((before & 1) == 0) {
            Pair pair;
            const uint32_t pLo = m_positionLo.load(std::memory_order_relaxed);
            const uint32_t pHi = m_positionHi.load(std::memory_order_relaxed);
            const uint32_t tLo = m_timeLo.load(std::memory_order_relaxed);
            const uint32_t tHi = m_timeHi.load(std::memory_order_relaxed);
            std::atomic_thread_fence(std::memory_order_acquire);
            if (m_sequence.load(std::memory_order_relaxed) == before) {
                pair.position = Join(pHi, pLo);
                pair.timeNs = Join(tHi, tLo);
                return pair;
            }
        }
        // The writer runs at time-critical priority and is done within a few
        // stores, unless something pre-empted it: then let it run.
        if (attempt >= 64) Sleep(attempt >= 1024 ? 1 : 0);
    }
}

}  // namespace veltrano::asio
