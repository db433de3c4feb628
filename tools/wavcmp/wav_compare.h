#pragma once
// Checks a recording of what a device received against the WAV file of what
// the host played: the played audio must appear bit-exactly and in order,
// after the silence the driver streams before the host's first buffer
// arrives (zero for PCM, 0x69 for DSD) and at most a short tail of the
// played audio may be missing (buffers the host filled after the stream's
// last packet went out).

#include <cstdint>
#include <string>
#include <vector>

#include "tools/wavcmp/glitch_log.h"

namespace veltrano::wavcmp {

struct WavData {
    int channels = 0;
    uint32_t sampleRate = 0;
    int bitsPerSample = 0;
    std::vector<uint8_t> data;  // the data chunk, cut to whole frames
};

// Parses an integer PCM WAV file (format tag 1 or WAVE_FORMAT_EXTENSIBLE).
// False with a reason for anything else or a malformed file.
bool ParseWav(const std::vector<uint8_t>& file, WavData& out, std::string& error);
bool ReadWavFile(const std::string& path, WavData& out, std::string& error);

struct CompareOptions {
    // Played frames allowed to be missing at the end; negative: a quarter
    // of a second at the file's rate.
    int64_t maxMissingFrames = -1;
    // Silence the device inserted while it was starved (underruns, from
    // the recording's glitch log): cut out before comparing.
    std::vector<Glitch> silentGaps;
};

struct CompareResult {
    bool match = false;
    std::string message;         // one line: why it failed, or what matched
    uint64_t leadingFrames = 0;  // silence before the played audio
    uint64_t matchedFrames = 0;
    uint64_t missingFrames = 0;  // played frames absent at the end
    uint64_t cutFrames = 0;      // starved silence cut out of the recording
};

CompareResult CompareRecording(const WavData& played, const WavData& recorded,
                               const CompareOptions& options);

}  // namespace veltrano::wavcmp
