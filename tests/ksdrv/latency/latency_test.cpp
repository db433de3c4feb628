// Streaming-thread latency under the virtual device: from a packet's
// completion event to the host's buffer switch, and the switches that come
// later than one buffer after their packet (the device then runs out of
// queued packets). Disabled by default: run by hand with
//   ks_driver_latency.exe --gtest_also_run_disabled_tests
// Figures only; nothing here asserts a speed.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <vector>

#include "../ksdrv_fixture.h"
#include "relay_platform.h"

namespace ksdrv {
namespace {

std::vector<LARGE_INTEGER> g_switchTimes;
std::atomic<size_t> g_switches{0};

ASIOTime* OnSwitch(ASIOTime* time, long, ASIOBool) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const size_t n = g_switches.fetch_add(1);
    if (n < g_switchTimes.size()) g_switchTimes[n] = now;
    return time;
}
void OnPlainSwitch(long, ASIOBool) {}
void OnRate(ASIOSampleRate) {}
long OnMessage(long selector, long, void*, double*) {
    if (selector == kAsioEngineVersion) return 2;
    return selector == kAsioSupportsTimeInfo ? 1 : 0;
}

void Measure(uint32_t rate, long bufferSize, int seconds) {
    const size_t switches = static_cast<size_t>(rate) * seconds / bufferSize;
    std::vector<LARGE_INTEGER> completions(switches + 64);
    g_switchTimes.assign(switches + 64, LARGE_INTEGER{});
    g_switches = 0;
    WriteSetting("SampleRate", rate);
    WriteSetting("BitsPerSample", 24);
    sim::Config config;
    config.devices = {sim::RenderOnlyDevice()};
    sim::Configure(config);
    latency::StartRelay(&completions);
    Driver driver;
    ASSERT_EQ(driver.created, S_OK);
    ASSERT_EQ(driver->init(nullptr), ASIOTrue);
    ASIOBufferInfo infos[2] = {{ASIOFalse, 0, {}}, {ASIOFalse, 1, {}}};
    ASIOCallbacks callbacks = {&OnPlainSwitch, &OnRate, &OnMessage, &OnSwitch};
    ASSERT_EQ(driver->createBuffers(infos, 2, bufferSize, &callbacks), ASE_OK);
    ASSERT_EQ(driver->start(), ASE_OK);
    while (g_switches.load() < switches) Sleep(100);
    ASSERT_EQ(driver->stop(), ASE_OK);
    ASSERT_EQ(driver->disposeBuffers(), ASE_OK);

    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double period = 1e6 * bufferSize / rate;
    std::vector<double> latencies;
    int late = 0;
    for (size_t n = 0; n < switches; ++n) {
        const double us = 1e6 *
                          static_cast<double>(g_switchTimes[n].QuadPart - completions[n].QuadPart) /
                          static_cast<double>(frequency.QuadPart);
        latencies.push_back(us);
        if (us > period) ++late;
    }
    std::sort(latencies.begin(), latencies.end());
    printf(
        "%u Hz, %ld frames (%.2f ms), %zu switches over %d s: latency min %.1f us, median %.1f "
        "us, p99 %.1f us, max %.1f us; late (> one buffer) %d\n",
        rate, bufferSize, period / 1000, switches, seconds, latencies.front(),
        latencies[latencies.size() / 2], latencies[latencies.size() * 99 / 100], latencies.back(),
        late);
    EXPECT_EQ(latencies.size(), switches);
}

using LatencyTest = KsDriverTest;

TEST_F(LatencyTest, DISABLED_CompletionToBufferSwitch) {
    Measure(384000, 768, 60);
    Measure(48000, 480, 10);
}

}  // namespace
}  // namespace ksdrv
