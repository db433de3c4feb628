#pragma once
// Recording of what render pin instances received, for comparing a driver's
// output with what its host played.

#include <string>

#include "sim/internal.h"

namespace sim::detail {

// The folder named by VELTRANO_SIM_RECORD; empty when unset.
std::string RecordFolder();

// The file a render instance is recorded to:
// <folder>\render-<device>-pin<id>-<n>.wav, n counting the pin's instances.
std::string RecordingPath(const PinInstance& pin);

// Writes the instance's received bytes as a PCM WAV file in the pin's
// format (native DSD arrives as its 32-bit carrier words and is stored as
// such), its glitch log beside it ("<name>.glitches.txt", see
// tools/wavcmp/glitch_log.h), and prints the underrun and overwrite counts
// to the standard error and the debugger output. Failures are reported to the debugger output only: recording must
// never change what the driver sees.
bool WriteRecording(const PinInstance& pin);

}  // namespace sim::detail
