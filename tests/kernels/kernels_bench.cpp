// Copy kernels and the DoP scan against memcpy of the same bytes. Each
// benchmark reports ns per frame ("ns_per_frame") and bytes/s; the memcpy
// baseline moves exactly the bytes the kernel moves. Every kernel benchmark
// also reports "x_memcpy", its time over that of memcpy on its own buffers,
// measured in the same run just before it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

#include "asio/core/kernels/dop_detector.h"
#include "asio/core/kernels/sample_copy.h"

namespace {

using namespace veltrano::kernels;

constexpr size_t kChannels = 2;

struct Buffers {
    Buffers(size_t frames, size_t bytes)
        : left(frames * bytes, 0x05), right(frames * bytes, 0xFA), device(frames * bytes * 2) {
        for (size_t i = 0; i < frames; ++i) {
            left[i * bytes + bytes - 1] = (i & 1) ? 0xFA : 0x05;
            right[i * bytes + bytes - 1] = (i & 1) ? 0xFA : 0x05;
        }
    }
    std::vector<uint8_t> left, right, device;
};

void CopyBothChannels(Buffers& b, size_t channelBytes) {
    std::memcpy(b.device.data(), b.left.data(), channelBytes);
    std::memcpy(b.device.data() + channelBytes, b.right.data(), channelBytes);
    benchmark::ClobberMemory();
}

// The kernel's time over memcpy's for both channels, from alternating
// short batches of each, taking the best batch of each: a batch that
// another process interrupted does not count, and both see the same cache
// and clock.
template <typename Pass>
double RatioToMemcpy(Buffers& b, size_t channelBytes, Pass kernelPass) {
    using Clock = std::chrono::steady_clock;
    constexpr int kPasses = 32;
    auto batch = [](auto&& pass) {
        const auto start = Clock::now();
        for (int i = 0; i < kPasses; ++i) pass();
        return std::chrono::duration<double>(Clock::now() - start).count();
    };
    double kernel = 1.0;
    double copy = 1.0;
    for (int round = 0; round < 15; ++round) {
        kernel = std::min(kernel, batch(kernelPass));
        copy = std::min(copy, batch([&] { CopyBothChannels(b, channelBytes); }));
    }
    return kernel / copy;
}

void SetCounters(benchmark::State& state, size_t frames, size_t bytes, double ratio = 0) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frames * bytes * kChannels));
    state.counters["ns_per_frame"] =
        benchmark::Counter(static_cast<double>(state.iterations() * frames),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    if (ratio > 0) state.counters["x_memcpy"] = ratio;
}

void BM_Memcpy(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) CopyBothChannels(b, frames * bytes);
    SetCounters(state, frames, bytes);
}

// Runs `pass` (one buffer half through a kernel, both channels) as the
// benchmark, then reports it against memcpy.
template <typename Pass>
void Measure(benchmark::State& state, Buffers& b, size_t frames, size_t bytes, Pass pass) {
    for (auto _ : state) {
        pass();
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes, RatioToMemcpy(b, frames * bytes, pass));
}

void BM_OutputPerChannel(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        CopyToInterleaved(b.left.data(), b.device.data(), frames, bytes, bytes * kChannels);
        CopyToInterleaved(b.right.data(), b.device.data() + bytes, frames, bytes,
                          bytes * kChannels);
    });
}

void BM_OutputStereoPair(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        InterleaveStereo(b.left.data(), b.right.data(), b.device.data(), frames, bytes);
    });
}

void BM_InputPerChannel(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        CopyFromInterleaved(b.device.data(), b.left.data(), frames, bytes, bytes * kChannels);
        CopyFromInterleaved(b.device.data() + bytes, b.right.data(), frames, bytes,
                            bytes * kChannels);
    });
}

void BM_InputStereoPair(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        DeinterleaveStereo(b.device.data(), b.left.data(), b.right.data(), frames, bytes);
    });
}

void BM_OutputGenericLoop(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        CopyToInterleavedGeneric(b.left.data(), b.device.data(), frames, bytes, bytes * kChannels);
        CopyToInterleavedGeneric(b.right.data(), b.device.data() + bytes, frames, bytes,
                                 bytes * kChannels);
    });
}

// The scan of both channels of a DoP stream (worst case: the whole buffer
// matches, so nothing ends it early).
void BM_DopScan(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        benchmark::DoNotOptimize(ScanDopMarkers(b.left.data(), frames, bytes));
        benchmark::DoNotOptimize(ScanDopMarkers(b.right.data(), frames, bytes));
    });
}

// The same scan on each loop the processor has (the words are what 32-bit
// builds run).
template <ScanLoop kLoop>
void BM_DopScanLoop(benchmark::State& state) {
    if (!ScanLoopAvailable(kLoop)) {
        state.SkipWithError("loop not available on this processor");
        return;
    }
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    Measure(state, b, frames, bytes, [&] {
        benchmark::DoNotOptimize(ScanDopMarkersWith(kLoop, b.left.data(), frames, bytes));
        benchmark::DoNotOptimize(ScanDopMarkersWith(kLoop, b.right.data(), frames, bytes));
    });
}

// Frames per half: 2 ms at 44100 Hz, 768, and 600 ms at 44100 Hz; sample
// bytes: 16-bit, packed 24-bit, 32-bit (also native DSD's carrier).
void Shapes(benchmark::internal::Benchmark* b) {
    for (int64_t frames : {88, 768, 26460}) {
        for (int64_t bytes : {2, 3, 4}) b->Args({frames, bytes});
    }
}

BENCHMARK(BM_Memcpy)->Apply(Shapes);
BENCHMARK(BM_OutputPerChannel)->Apply(Shapes);
BENCHMARK(BM_OutputStereoPair)->Apply(Shapes);
BENCHMARK(BM_InputPerChannel)->Apply(Shapes);
BENCHMARK(BM_InputStereoPair)->Apply(Shapes);
BENCHMARK(BM_OutputGenericLoop)->Apply(Shapes);
void DopShapes(benchmark::internal::Benchmark* b) {
    for (int64_t frames : {88, 768, 26460}) {
        for (int64_t bytes : {3, 4}) b->Args({frames, bytes});
    }
}

BENCHMARK(BM_DopScan)->Apply(DopShapes);
BENCHMARK(BM_DopScanLoop<ScanLoop::kWords>)->Apply(DopShapes);
BENCHMARK(BM_DopScanLoop<ScanLoop::kSse2>)->Apply(DopShapes);
BENCHMARK(BM_DopScanLoop<ScanLoop::kAvx2>)->Apply(DopShapes);

}  // namespace

BENCHMARK_MAIN();
