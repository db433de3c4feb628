#include "tools/probe/switch_statistics.h"

#include <algorithm>
#include <cstddef>

namespace veltrano::probe {

SwitchStatistics::SwitchStatistics(size_t capacity, int64_t nominalTicks)
    : m_intervals(capacity), m_nominal(nominalTicks) {}

void SwitchStatistics::Record(int64_t tick) noexcept {
    if (m_switches++ > 0) {
        const int64_t interval = tick - m_last;
        // A switch more than half a period late means the host had less than
        // half its buffer of time: the edge where audio starts to drop out.
        if (2 * interval > 3 * m_nominal) ++m_late;
        if (m_used < m_intervals.size()) m_intervals[m_used++] = interval;
    }
    m_last = tick;
}

SwitchStatistics::Summary SwitchStatistics::Summarize() const {
    Summary s;
    s.switches = m_switches;
    s.late = m_late;
    s.intervals = m_used;
    if (m_used == 0) return s;
    std::vector<int64_t> sorted(m_intervals.begin(),
                                m_intervals.begin() + static_cast<std::ptrdiff_t>(m_used));
    std::sort(sorted.begin(), sorted.end());
    s.minTicks = sorted.front();
    s.maxTicks = sorted.back();
    s.medianTicks = sorted[sorted.size() / 2];
    return s;
}

}  // namespace veltrano::probe
