#pragma once
// Buffer-switch timing: the intervals between switches, kept in storage
// reserved up front so Record can run inside the callback.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace veltrano::probe {

class SwitchStatistics {
public:
    // capacity: intervals kept (later ones still count as switches and as
    // late); nominalTicks: one buffer period in the caller's clock ticks.
    SwitchStatistics(size_t capacity, int64_t nominalTicks);

    // One buffer switch at `tick`.
    void Record(int64_t tick) noexcept;

    struct Summary {
        uint64_t switches = 0;
        uint64_t intervals = 0;  // intervals the figures below are taken from
        int64_t minTicks = 0;
        int64_t medianTicks = 0;
        int64_t maxTicks = 0;
        uint64_t late = 0;  // intervals longer than 1.5 buffer periods
    };
    Summary Summarize() const;

private:
    std::vector<int64_t> m_intervals;
    size_t m_used = 0;
    int64_t m_nominal;
    int64_t m_last = 0;
    uint64_t m_switches = 0;
    uint64_t m_late = 0;
};

}  // namespace veltrano::probe
