#include "tools/probe/wav_writer.h"

#include <algorithm>
#include <cstdio>
#include <memory>

namespace veltrano::probe {
namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v);
    Put16(p + 2, v >> 16);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

WavLayout WavLayoutFor(SampleFormat format, double asioRate) {
    WavLayout layout;
    const auto rate = asioRate > 0 ? static_cast<uint32_t>(asioRate) : 0u;
    switch (format) {
        case SampleFormat::Int16:
            layout = {16, rate};
            break;
        case SampleFormat::Int24:
            layout = {24, rate};
            break;
        case SampleFormat::Int32:
            layout = {32, rate};
            break;
        case SampleFormat::Dsd8Msb:
            layout = {32, rate / 32};
            break;
    }
    return layout;
}

std::array<uint8_t, kWavHeaderBytes> WavHeader(int channels, uint32_t sampleRate, int bitsPerSample,
                                               uint32_t dataBytes) {
    std::array<uint8_t, kWavHeaderBytes> h{};
    const uint32_t blockAlign = static_cast<uint32_t>(channels * (bitsPerSample / 8));
    std::copy_n("RIFF", 4, h.begin());
    Put32(&h[4], 36 + dataBytes);
    std::copy_n("WAVEfmt ", 8, h.begin() + 8);
    Put32(&h[16], 16);
    Put16(&h[20], 1);  // integer PCM
    Put16(&h[22], static_cast<uint32_t>(channels));
    Put32(&h[24], sampleRate);
    Put32(&h[28], sampleRate * blockAlign);
    Put16(&h[32], blockAlign);
    Put16(&h[34], static_cast<uint32_t>(bitsPerSample));
    std::copy_n("data", 4, h.begin() + 36);
    Put32(&h[40], dataBytes);
    return h;
}

std::vector<uint8_t> Interleave(const std::vector<const uint8_t*>& channels, size_t channelBytes,
                                const WavLayout& layout) {
    const size_t width = static_cast<size_t>(layout.bitsPerSample / 8);
    if (width == 0 || channels.empty()) return {};
    const size_t samples = channelBytes / width;
    std::vector<uint8_t> out(samples * width * channels.size());
    uint8_t* dst = out.data();
    for (size_t s = 0; s < samples; ++s) {
        for (const uint8_t* channel : channels) {
            const uint8_t* src = channel + s * width;
            for (size_t b = 0; b < width; ++b) {
                *dst++ = src[b];
            }
        }
    }
    return out;
}

bool WriteWavFile(const std::string& path, const std::vector<const uint8_t*>& channels,
                  size_t channelBytes, const WavLayout& layout, std::string& error) {
    if (channels.empty()) {
        error = "no channels to write";
        return false;
    }
    const std::vector<uint8_t> data = Interleave(channels, channelBytes, layout);
    if (data.size() > 0xFFFFFFFFull - 36) {
        error = "too much audio for one WAV file";
        return false;
    }
    const auto header = WavHeader(static_cast<int>(channels.size()), layout.sampleRate,
                                  layout.bitsPerSample, static_cast<uint32_t>(data.size()));
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        error = "cannot create " + path;
        return false;
    }
    if (std::fwrite(header.data(), 1, header.size(), file.get()) != header.size() ||
        std::fwrite(data.data(), 1, data.size(), file.get()) != data.size() ||
        std::fclose(file.release()) != 0) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace veltrano::probe
