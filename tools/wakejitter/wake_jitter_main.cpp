// How late this machine wakes a thread that waits for a periodic event, with
// no driver and no device: the floor under every underrun figure. A
// periodic waitable timer signals every period; the thread waits on it as a
// streaming thread waits on its endpoint's event and measures how long after
// each due time it ran.
//
//   veltrano-wake-jitter [--period-us N] [--seconds S]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/win_owners.h"

namespace {

struct Options {
    long periodUs = 10000;
    double seconds = 3.0;
};

bool Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const bool hasValue = i + 1 < argc;
        if (std::strcmp(argv[i], "--period-us") == 0 && hasValue) {
            options.periodUs = std::strtol(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--seconds") == 0 && hasValue) {
            options.seconds = std::strtod(argv[++i], nullptr);
        } else {
            return false;
        }
    }
    return options.periodUs >= 100 && options.periodUs <= 1000000 && options.seconds > 0 &&
           options.seconds <= 600;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!Parse(argc, argv, options)) {
        std::fprintf(stderr, "usage: veltrano-wake-jitter [--period-us N] [--seconds S]\n");
        return 2;
    }
    veltrano::UniqueHandle timer(CreateWaitableTimerW(nullptr, FALSE, nullptr));
    if (!timer) {
        std::fprintf(stderr, "veltrano-wake-jitter: no timer (%lu)\n", GetLastError());
        return 1;
    }
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    LARGE_INTEGER frequency, start;
    QueryPerformanceFrequency(&frequency);
    const auto wakes = static_cast<size_t>(options.seconds * 1e6 / options.periodUs);
    std::vector<double> lateUs;
    lateUs.reserve(wakes);
    LARGE_INTEGER due;
    due.QuadPart = -static_cast<LONGLONG>(options.periodUs) * 10;
    // A periodic timer's period is whole milliseconds: each wake is timed
    // against the due time it was armed for, and the timer re-armed for the
    // next one on the period grid.
    QueryPerformanceCounter(&start);
    double dueUs = options.periodUs;
    SetWaitableTimer(timer.get(), &due, 0, nullptr, nullptr, FALSE);
    for (size_t n = 0; n < wakes; ++n) {
        if (WaitForSingleObject(timer.get(), 5000) != WAIT_OBJECT_0) break;
        LARGE_INTEGER now;
        QueryPerformanceCounter(&now);
        const double atUs = static_cast<double>(now.QuadPart - start.QuadPart) * 1e6 /
                            static_cast<double>(frequency.QuadPart);
        lateUs.push_back(atUs - dueUs);
        // Next due time on the period grid, never in the past.
        do dueUs += options.periodUs;
        while (dueUs < atUs);
        LARGE_INTEGER next;
        next.QuadPart = -static_cast<LONGLONG>((dueUs - atUs) * 10.0);
        if (next.QuadPart == 0) next.QuadPart = -1;
        SetWaitableTimer(timer.get(), &next, 0, nullptr, nullptr, FALSE);
    }
    timer.Reset();
    if (lateUs.empty()) return 1;
    std::vector<double> sorted = lateUs;
    std::sort(sorted.begin(), sorted.end());
    auto at = [&](double q) { return sorted[static_cast<size_t>(q * (sorted.size() - 1))]; };
    size_t overPeriod = 0;
    for (double late : lateUs) overPeriod += late > options.periodUs;
    std::printf("WAKES: %zu at %ld us: late median %.0f us, p99 %.0f us, max %.0f us, "
                "%zu later than a period\n",
                lateUs.size(), options.periodUs, at(0.5), at(0.99), sorted.back(), overPeriod);
    return 0;
}
