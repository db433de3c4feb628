#include "sim/audio/sim_wav.h"

#include <cstdio>
#include <cstring>

namespace veltrano::sim {
namespace {

void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void Put32(uint8_t* p, uint32_t v) {
    Put16(p, v & 0xFFFF);
    Put16(p + 2, v >> 16);
}

}  // namespace

bool WriteRecordingWav(const std::string& path, const RenderRecording& r) {
    // The data must fit the format's 32-bit sizes.
    if (r.data.size() > 0xFFFFFFFFull - 36) return false;
    const auto bytes = static_cast<uint32_t>(r.data.size());
    const uint32_t blockAlign = r.containerBits / 8u * r.channels;
    uint8_t header[44];
    std::memcpy(header, "RIFF", 4);
    Put32(header + 4, 36 + bytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    Put32(header + 16, 16);
    Put16(header + 20, 1);
    Put16(header + 22, r.channels);
    Put32(header + 24, r.sampleRate);
    Put32(header + 28, r.sampleRate * blockAlign);
    Put16(header + 32, blockAlign);
    Put16(header + 34, r.containerBits);
    std::memcpy(header + 36, "data", 4);
    Put32(header + 40, bytes);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(header, 1, sizeof(header), file) == sizeof(header);
    if (ok && bytes > 0) ok = std::fwrite(r.data.data(), 1, bytes, file) == bytes;
    return std::fclose(file) == 0 && ok;
}

}  // namespace veltrano::sim
