#pragma once
// Deterministic test signals, one independent stream per channel, written
// straight into a host buffer half in the driver's sample layout. Fill makes
// no allocation, so it runs inside the buffer-switch callback.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "tools/probe/sample_format.h"

namespace veltrano::probe {

enum class SignalKind {
    Sine,     // channel c: a sine of 440 * (c + 1) Hz at half scale (DSD: sigma-delta coded)
    Pattern,  // a per-channel sequence that is easy to check sample by sample
};

class TestSignal {
public:
    TestSignal(SignalKind kind, SampleFormat format, double sampleRate, int channels);

    // Writes the next `frames` samples of `channel` to `dst` (ChannelBytes
    // long) and advances that channel. Channels out of range are filled with
    // silence.
    void Fill(int channel, uint8_t* dst, long frames) noexcept;

    // The PCM value of sample `index` of `channel`, before packing: what
    // Fill writes for it (sign-extended to 32 bits). Not for DSD.
    int32_t PcmValue(int channel, uint64_t index) const noexcept;

    // The DSD byte `index` of `channel` in Pattern mode.
    static uint8_t DsdPatternByte(int channel, uint64_t index) noexcept;

private:
    struct Channel {
        uint64_t position = 0;  // samples (DSD: bytes) written so far
        double integrator = 0.0;
        double feedback = 0.0;
    };
    void FillDsd(Channel& state, int channel, uint8_t* dst, long frames) noexcept;
    double SineAt(int channel, uint64_t index) const noexcept;

    SignalKind m_kind;
    SampleFormat m_format;
    double m_rate;
    std::vector<Channel> m_channels;
};

}  // namespace veltrano::probe
