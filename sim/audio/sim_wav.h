#pragma once
// What a render stream received, written as a canonical 44-byte-header
// integer PCM WAV file in the stream's own format.

#include <string>

#include "sim/audio/virtual_audio.h"

namespace veltrano::sim {

bool WriteRecordingWav(const std::string& path, const RenderRecording& recording);

// The glitch log beside the WAV at `wavPath` (underruns and packets changed
// after release), in the form veltrano-wav-compare reads.
bool WriteGlitchLog(const std::string& wavPath, const RenderRecording& recording);

}  // namespace veltrano::sim
