#include "tools/probe/test_signal.h"

#include <cmath>
#include <cstring>
#include <numbers>

namespace veltrano::probe {

const char* FormatName(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int16:
            return "Int16LSB";
        case SampleFormat::Int24:
            return "Int24LSB";
        case SampleFormat::Int32:
            return "Int32LSB";
        case SampleFormat::Dsd8Msb:
            return "DSDInt8MSB1";
    }
    return "?";
}

TestSignal::TestSignal(SignalKind kind, SampleFormat format, double sampleRate, int channels)
    : m_kind(kind),
      m_format(format),
      m_rate(sampleRate > 0 ? sampleRate : 44100.0),
      m_channels(channels > 0 ? static_cast<size_t>(channels) : 0) {}

double TestSignal::SineAt(int channel, uint64_t index) const noexcept {
    // The phase comes from the sample index, not from a running sum, so the
    // signal stays exact over long runs and any sample can be recomputed.
    const double frequency = 440.0 * (channel + 1);
    const double cycles = std::fmod(frequency * static_cast<double>(index) / m_rate, 1.0);
    return 0.5 * std::sin(2.0 * std::numbers::pi * cycles);
}

int32_t TestSignal::PcmValue(int channel, uint64_t index) const noexcept {
    const int bits = FormatBits(m_format);
    if (m_kind == SignalKind::Sine) {
        const double full = std::ldexp(1.0, bits - 1) - 1.0;
        return static_cast<int32_t>(std::lround(SineAt(channel, index) * full));
    }
    // A multiplicative hash of (channel, index): neighbouring samples and
    // channels differ in every byte, so a dropped, repeated or swapped sample
    // shows up in any comparison.
    const uint32_t mixed = (static_cast<uint32_t>(index) + 1u) * 2654435761u ^
                           (static_cast<uint32_t>(channel) + 1u) * 0x9E3779B9u;
    return static_cast<int32_t>(mixed) >> (32 - bits);
}

uint8_t TestSignal::DsdPatternByte(int channel, uint64_t index) noexcept {
    // Each byte holds four ones: a DC-free, near-silent stream.
    static constexpr uint8_t kCycle[4] = {0x69, 0x96, 0x5A, 0xA5};
    return kCycle[(index + static_cast<uint64_t>(channel)) % 4];
}

void TestSignal::Fill(int channel, uint8_t* dst, long frames) noexcept {
    const size_t bytes = ChannelBytes(m_format, frames);
    if (channel < 0 || static_cast<size_t>(channel) >= m_channels.size()) {
        std::memset(dst, 0, bytes);
        return;
    }
    Channel& state = m_channels[static_cast<size_t>(channel)];
    if (m_format == SampleFormat::Dsd8Msb) {
        FillDsd(state, channel, dst, frames);
        return;
    }
    const size_t width = static_cast<size_t>(FormatBits(m_format) / 8);
    for (long i = 0; i < frames; ++i) {
        const auto value = static_cast<uint32_t>(PcmValue(channel, state.position++));
        for (size_t b = 0; b < width; ++b) *dst++ = static_cast<uint8_t>(value >> (8 * b));
    }
}

void TestSignal::FillDsd(Channel& state, int channel, uint8_t* dst, long frames) noexcept {
    const long bytes = frames / 8;
    for (long i = 0; i < bytes; ++i) {
        if (m_kind == SignalKind::Pattern) {
            dst[i] = DsdPatternByte(channel, state.position++);
            continue;
        }
        // First-order sigma-delta modulation of the sine at the DSD rate.
        uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit) {
            const uint64_t sample = state.position * 8 + static_cast<uint64_t>(bit);
            state.integrator += SineAt(channel, sample) - state.feedback;
            const bool one = state.integrator >= 0.0;
            state.feedback = one ? 1.0 : -1.0;
            byte = static_cast<uint8_t>((byte << 1) | (one ? 1 : 0));
        }
        dst[i] = byte;
        ++state.position;
    }
}

}  // namespace veltrano::probe
