#include "tools/wavcmp/wav_compare.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace veltrano::wavcmp {
namespace {

uint32_t Get16(const uint8_t* p) { return static_cast<uint32_t>(p[0] | (p[1] << 8)); }
uint32_t Get32(const uint8_t* p) { return Get16(p) | (Get16(p + 2) << 16); }

constexpr uint32_t kFormatPcm = 1;
constexpr uint32_t kFormatExtensible = 0xFFFE;

// Bytes the driver streams before the host's audio: PCM silence and the
// DSD idle pattern.
bool IsLeadIn(uint8_t b) { return b == 0x00 || b == 0x69; }

size_t FrameBytes(const WavData& w) {
    return static_cast<size_t>(w.channels) * static_cast<size_t>(w.bitsPerSample / 8);
}

// The recording without the gaps (frame positions in the recording; gaps
// out of order or past the end are taken as far as they go).
std::vector<uint8_t> CutGaps(const std::vector<uint8_t>& data, size_t frame,
                             std::vector<Glitch> gaps) {
    std::sort(gaps.begin(), gaps.end(),
              [](const Glitch& a, const Glitch& b) { return a.frame < b.frame; });
    std::vector<uint8_t> out;
    out.reserve(data.size());
    const uint64_t frames = data.size() / frame;
    uint64_t at = 0;
    for (const Glitch& g : gaps) {
        const uint64_t begin = std::min(std::max(g.frame, at), frames);
        const uint64_t end = std::min(begin + std::min(g.frames, frames), frames);
        out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at * frame),
                   data.begin() + static_cast<std::ptrdiff_t>(begin * frame));
        at = end;
    }
    out.insert(out.end(), data.begin() + static_cast<std::ptrdiff_t>(at * frame), data.end());
    return out;
}

std::string Frames(uint64_t n) { return std::to_string(n) + (n == 1 ? " frame" : " frames"); }

}  // namespace

bool ParseWav(const std::vector<uint8_t>& file, WavData& out, std::string& error) {
    out = WavData{};
    if (file.size() < 12 || std::memcmp(file.data(), "RIFF", 4) != 0 ||
        std::memcmp(file.data() + 8, "WAVE", 4) != 0) {
        error = "not a RIFF WAVE file";
        return false;
    }
    bool haveFormat = false;
    size_t pos = 12;
    while (file.size() - pos >= 8) {
        const uint8_t* chunk = file.data() + pos;
        const uint32_t size = Get32(chunk + 4);
        const size_t available = file.size() - pos - 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || size > available) {
                error = "malformed fmt chunk";
                return false;
            }
            const uint32_t tag = Get16(chunk + 8);
            if (tag != kFormatPcm && tag != kFormatExtensible) {
                error = "not integer PCM (format tag " + std::to_string(tag) + ")";
                return false;
            }
            out.channels = static_cast<int>(Get16(chunk + 10));
            out.sampleRate = Get32(chunk + 12);
            out.bitsPerSample = static_cast<int>(Get16(chunk + 22));
            if (out.channels == 0 || out.bitsPerSample == 0 || out.bitsPerSample % 8 != 0) {
                error = "unusable format (" + std::to_string(out.channels) + " channels, " +
                        std::to_string(out.bitsPerSample) + " bits)";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data chunk before the fmt chunk";
                return false;
            }
            // A writer that died before fixing the size leaves it too large.
            const size_t bytes = std::min<size_t>(size, available);
            const size_t whole = bytes / FrameBytes(out) * FrameBytes(out);
            out.data.assign(chunk + 8, chunk + 8 + whole);
            return true;
        }
        // Chunks are padded to even sizes; a chunk running past the end ends
        // the walk.
        const size_t step = 8 + static_cast<size_t>(size) + (size & 1);
        if (step > file.size() - pos) break;
        pos += step;
    }
    error = haveFormat ? "no data chunk" : "no fmt chunk";
    return false;
}

bool ReadWavFile(const std::string& path, WavData& out, std::string& error) {
    std::ifstream stream(path, std::ios::binary);
    if (!stream.is_open()) {
        error = "cannot open " + path;
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(stream)),
                                     std::istreambuf_iterator<char>());
    if (stream.bad()) {
        error = "cannot read " + path;
        return false;
    }
    if (!ParseWav(bytes, out, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

CompareResult CompareRecording(const WavData& played, const WavData& recorded,
                               const CompareOptions& options) {
    CompareResult result;
    if (played.channels != recorded.channels || played.sampleRate != recorded.sampleRate ||
        played.bitsPerSample != recorded.bitsPerSample) {
        result.message = "formats differ: played " + std::to_string(played.channels) + " ch " +
                         std::to_string(played.sampleRate) + " Hz " +
                         std::to_string(played.bitsPerSample) + " bits, recorded " +
                         std::to_string(recorded.channels) + " ch " +
                         std::to_string(recorded.sampleRate) + " Hz " +
                         std::to_string(recorded.bitsPerSample) + " bits";
        return result;
    }
    const size_t frame = FrameBytes(played);
    // The device's starved time is silence the host never played: cut it
    // out, so that what was played is compared between the glitches.
    std::vector<uint8_t> stripped;
    if (!options.silentGaps.empty()) {
        stripped = CutGaps(recorded.data, frame, options.silentGaps);
        result.cutFrames = (recorded.data.size() - stripped.size()) / frame;
    }
    const std::vector<uint8_t>& data = options.silentGaps.empty() ? recorded.data : stripped;
    const uint64_t playedFrames = played.data.size() / frame;
    if (playedFrames == 0) {
        result.message = "nothing was played";
        return result;
    }
    const uint64_t allowedMissing = options.maxMissingFrames >= 0
                                        ? static_cast<uint64_t>(options.maxMissingFrames)
                                        : played.sampleRate / 4;

    // The played audio can only start inside the recording's lead-in.
    const auto leadEnd = std::find_if_not(data.begin(), data.end(), IsLeadIn);
    const size_t leadBytes = static_cast<size_t>(leadEnd - data.begin());
    for (size_t offset = 0; offset <= leadBytes && offset < data.size(); offset += frame) {
        const size_t common = std::min(played.data.size(), data.size() - offset);
        if (std::memcmp(data.data() + offset, played.data.data(), common) != 0) continue;
        result.leadingFrames = offset / frame;
        result.matchedFrames = common / frame;
        result.missingFrames = playedFrames - result.matchedFrames;
        const size_t extra = data.size() - offset - common;
        const auto tail = data.end() - static_cast<std::ptrdiff_t>(extra);
        if (!std::all_of(tail, data.end(), IsLeadIn)) {
            result.message =
                "the recording goes on with " + Frames(extra / frame) + " the host did not play";
            return result;
        }
        if (result.missingFrames > allowedMissing) {
            result.message = "only " + Frames(result.matchedFrames) + " of " +
                             Frames(playedFrames) + " arrived (" + Frames(result.missingFrames) +
                             " missing at the end, at most " + Frames(allowedMissing) + " allowed)";
            return result;
        }
        result.match = true;
        result.message = Frames(result.matchedFrames) + " of " + Frames(playedFrames) +
                         " match bit for bit after " + Frames(result.leadingFrames) +
                         " of lead-in; " + Frames(result.missingFrames) + " missing at the end";
        return result;
    }
    // Where the first difference is, for the report: against the played
    // audio right after the lead-in.
    const size_t start = leadBytes / frame * frame;
    const size_t common = start < data.size()
                              ? std::min(played.data.size(), data.size() - start)
                              : 0;
    size_t at = 0;
    while (at < common && data[start + at] == played.data[at]) ++at;
    result.leadingFrames = start / frame;
    result.matchedFrames = at / frame;
    result.missingFrames = playedFrames;
    result.message = data.size() <= leadBytes
                         ? "the recording holds no audio, only " +
                               Frames(data.size() / frame) + " of silence"
                         : "the played audio is not in the recording (after " +
                               Frames(result.leadingFrames) + " of lead-in, played frame " +
                               std::to_string(at / frame) + " differs)";
    return result;
}

}  // namespace veltrano::wavcmp
