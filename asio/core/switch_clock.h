#pragma once
// The (sample position, system time) pair of the last buffer switch, as
// getSamplePosition and the time-info callback report it. One thread (the
// streaming thread, or the host's thread at start) writes; any thread reads.
//
// A sequence count guards the pair: the writer makes it odd, stores the four
// 32-bit halves and makes it even again; a reader retries until it saw the
// same even count before and after its loads. No lock, no 64-bit store that
// could tear in a 32-bit process, and a reader never sees a position from
// one switch with the time of another.

#include <atomic>
#include <cstdint>

namespace veltrano::asio {

class SwitchClock {
public:
    struct Pair {
        int64_t position = 0;  // samples (DSD samples in native DSD)
        int64_t timeNs = 0;    // system time in nanoseconds
    };

    // Writer side: one thread at a time.
    void Publish(int64_t position, int64_t timeNs) noexcept;
    // Position 0 at `timeNs`: a fresh transport.
    void Reset(int64_t timeNs) noexcept { Publish(0, timeNs); }

    // Any thread. Spins only while a write is in progress (a few stores),
    // yielding the processor if the writer was pre-empted in between.
    Pair Read() const noexcept;

private:
    std::atomic<uint32_t> m_sequence{0};
    std::atomic<uint32_t> m_positionLo{0};
    std::atomic<uint32_t> m_positionHi{0};
    std::atomic<uint32_t> m_timeLo{0};
    std::atomic<uint32_t> m_timeHi{0};
};

}  // namespace veltrano::asio
