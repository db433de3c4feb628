#include "sim/audio/sim_wav.h"

#include <cstdio>

#include "tools/probe/wav_writer.h"
#include "tools/wavcmp/glitch_log.h"

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

bool WriteGlitchLog(const std::string& wavPath, const RenderRecording& r) {
    wavcmp::GlitchLog log;
    // The frames the device inserted, not the duration converted back: that
    // loses a frame whenever the period is no whole number of 100 ns.
    const uint64_t period = r.periodFrames;
    for (uint64_t frame : r.glitchFrames) log.AddUnderrun(frame, period);
    for (uint64_t frame : r.overwriteFrames) log.AddOverwrite(frame, period);
    // Counts past the marks kept (as many as the log lists) only count.
    for (uint32_t i = static_cast<uint32_t>(r.glitchFrames.size()); i < r.glitches; ++i) {
        log.AddUnderrun(r.playedFrames, 0);
    }
    for (uint32_t i = static_cast<uint32_t>(r.overwriteFrames.size()); i < r.overwrites; ++i) {
        log.AddOverwrite(r.playedFrames, 0);
    }
    const std::string text = log.Text();
    FILE* file = std::fopen(wavcmp::GlitchLog::SidecarPath(wavPath).c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace veltrano::sim
