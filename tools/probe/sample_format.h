#pragma once
// The sample layouts the probe can play and record, independent of the ASIO
// declarations so that the signal and file code builds everywhere.

#include <cstddef>
#include <cstdint>

namespace veltrano::probe {

enum class SampleFormat {
    Int16,    // 16-bit little-endian
    Int24,    // 24-bit little-endian, packed in 3 bytes
    Int32,    // 32-bit little-endian
    Dsd8Msb,  // 1-bit DSD, 8 samples per byte, first sample in the top bit
};

// Bytes one channel needs for `frames` samples (DSD: frames are bits).
constexpr size_t ChannelBytes(SampleFormat format, long frames) {
    if (frames <= 0) return 0;
    const auto n = static_cast<size_t>(frames);
    switch (format) {
        case SampleFormat::Int16:
            return n * 2;
        case SampleFormat::Int24:
            return n * 3;
        case SampleFormat::Int32:
            return n * 4;
        case SampleFormat::Dsd8Msb:
            return n / 8;
    }
    return 0;
}

// Sample width in bits (1 for DSD).
constexpr int FormatBits(SampleFormat format) {
    switch (format) {
        case SampleFormat::Int16:
            return 16;
        case SampleFormat::Int24:
            return 24;
        case SampleFormat::Int32:
            return 32;
        case SampleFormat::Dsd8Msb:
            return 1;
    }
    return 0;
}

const char* FormatName(SampleFormat format);

}  // namespace veltrano::probe
