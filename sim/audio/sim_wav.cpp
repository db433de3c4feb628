#include "sim/audio/sim_wav.h"

#include <cstdio>

#include "tools/probe/wav_writer.h"

namespace veltrano::sim {

bool WriteRecordingWav(const std::string& path, const RenderRecording& r) {
    // The data must fit the format's 32-bit sizes.
    if (r.data.size() > 0xFFFFFFFFull - 36) return false;
    const auto bytes = static_cast<uint32_t>(r.data.size());
    const auto header = probe::WavHeader(r.channels, r.sampleRate, r.containerBits, bytes);
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size();
    if (ok && bytes > 0) ok = std::fwrite(r.data.data(), 1, bytes, file) == bytes;
    return std::fclose(file) == 0 && ok;
}

}  // namespace veltrano::sim
