#include "sim/wav_record.h"

#include <cstdio>
#include <memory>

#include "platform/win32_headers.h"
#include "tools/probe/wav_writer.h"

namespace sim::detail {
namespace {

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

void Report(const std::string& text) {
    OutputDebugStringA(("veltrano sim: " + text + "\n").c_str());
}

}  // namespace

std::string RecordFolder() {
    char folder[MAX_PATH];
    const DWORD length = GetEnvironmentVariableA("VELTRANO_SIM_RECORD", folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return {};
    return std::string(folder, length);
}

std::string RecordingPath(const PinInstance& pin) {
    char name[96];
    snprintf(name, sizeof name, "render-%zu-pin%u-%u.wav", pin.device, pin.pinId,
             pin.instanceNumber);
    std::string path = pin.recordFolder;
    if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
    return path + name;
}

bool WriteRecording(const PinInstance& pin) {
    const std::string path = RecordingPath(pin);
    const size_t frameBytes = static_cast<size_t>(pin.channels) * (pin.bits / 8);
    if (frameBytes == 0) return false;
    // Whole frames only, and within a WAV file's 32-bit sizes.
    const size_t bytes = pin.received.size() / frameBytes * frameBytes;
    if (bytes > 0xFFFFFFFFull - 36) {
        Report("too much audio for " + path);
        return false;
    }
    const auto header =
        veltrano::probe::WavHeader(pin.channels, pin.rate, pin.bits, static_cast<uint32_t>(bytes));
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        Report("cannot create " + path);
        return false;
    }
    if (std::fwrite(header.data(), 1, header.size(), file.get()) != header.size() ||
        std::fwrite(pin.received.data(), 1, bytes, file.get()) != bytes ||
        std::fclose(file.release()) != 0) {
        Report("cannot write " + path);
        return false;
    }
    if (pin.recordingCut) Report(path + " holds only the start of the stream (size limit)");
    // Beside it, where the device was starved or fed a changing packet.
    const std::string sidecar = veltrano::wavcmp::GlitchLog::SidecarPath(path);
    const std::string text = pin.glitches.Text();
    std::unique_ptr<std::FILE, FileCloser> log(std::fopen(sidecar.c_str(), "wb"));
    if (!log || std::fwrite(text.data(), 1, text.size(), log.get()) != text.size() ||
        std::fclose(log.release()) != 0) {
        Report("cannot write " + sidecar);
        return false;
    }
    const std::string summary = path + ": " + pin.glitches.Summary();
    Report(summary);
    std::fprintf(stderr, "veltrano sim: %s\n", summary.c_str());
    return true;
}

}  // namespace sim::detail
