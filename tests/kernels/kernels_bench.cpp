// Copy kernels and the DoP scan against memcpy of the same bytes. Each
// benchmark reports ns per frame (the "frame" counter) and bytes/s; the
// memcpy baseline moves exactly the bytes the kernel moves.
#include <benchmark/benchmark.h>

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

void SetCounters(benchmark::State& state, size_t frames, size_t bytes) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * frames * bytes * kChannels));
    state.counters["ns_per_frame"] = benchmark::Counter(
        static_cast<double>(state.iterations() * frames),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_Memcpy(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        std::memcpy(b.device.data(), b.left.data(), frames * bytes);
        std::memcpy(b.device.data() + frames * bytes, b.right.data(), frames * bytes);
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes);
}

void BM_OutputPerChannel(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        CopyToInterleaved(b.left.data(), b.device.data(), frames, bytes, bytes * kChannels);
        CopyToInterleaved(b.right.data(), b.device.data() + bytes, frames, bytes,
                          bytes * kChannels);
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes);
}

void BM_OutputStereoPair(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        InterleaveStereo(b.left.data(), b.right.data(), b.device.data(), frames, bytes);
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes);
}

void BM_InputPerChannel(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        CopyFromInterleaved(b.device.data(), b.left.data(), frames, bytes, bytes * kChannels);
        CopyFromInterleaved(b.device.data() + bytes, b.right.data(), frames, bytes,
                            bytes * kChannels);
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes);
}

void BM_InputStereoPair(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        DeinterleaveStereo(b.device.data(), b.left.data(), b.right.data(), frames, bytes);
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes);
}

void BM_OutputGenericLoop(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        CopyToInterleavedGeneric(b.left.data(), b.device.data(), frames, bytes, bytes * kChannels);
        CopyToInterleavedGeneric(b.right.data(), b.device.data() + bytes, frames, bytes,
                                 bytes * kChannels);
        benchmark::ClobberMemory();
    }
    SetCounters(state, frames, bytes);
}

// The scan of both channels of a DoP stream (worst case: the whole buffer
// matches, so nothing ends it early).
void BM_DopScan(benchmark::State& state) {
    const size_t frames = state.range(0), bytes = state.range(1);
    Buffers b(frames, bytes);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ScanDopMarkers(b.left.data(), frames, bytes));
        benchmark::DoNotOptimize(ScanDopMarkers(b.right.data(), frames, bytes));
    }
    SetCounters(state, frames, bytes);
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
BENCHMARK(BM_DopScan)->Apply([](benchmark::internal::Benchmark* b) {
    for (int64_t frames : {88, 768, 26460}) {
        for (int64_t bytes : {3, 4}) b->Args({frames, bytes});
    }
});

}  // namespace

BENCHMARK_MAIN();
