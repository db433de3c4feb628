#pragma once
// What the ASIO section shows for a status block: the state and device
// texts, the latched bit-depth and buffer-size buttons, the status line and
// the one format indicator. Pure, so every state a block can hold (also a
// hostile one) can be checked without a window.

#include <cstddef>
#include <cstdint>

#include "common/asio_status_block.h"

namespace veltrano::cpl {

struct AsioStateTexts {
    const char* state;    // "LOADED", "INITIALIZED", "PREPARED", "RUNNING" or "UNLOAD"
    bool showDeviceName;  // else "Not Available"
};
AsioStateTexts StateTexts(uint32_t state);
inline constexpr char kNotAvailable[] = "Not Available";

// The bit-depth setting the section keeps: 16, 24 or 32 stay, anything else
// becomes 16 (and is written back).
uint32_t NormalisedBitsSetting(uint32_t setting);

// The buffer-size button to latch: the first whose value is not below the
// setting; -1 (none) above 1000.
int BufferButtonIndex(uint32_t setting);

// "2 Channel, %d bits, %d Hz, Buffer %.1f ms" with the buffer duration
// bufferSize * 1000 / sampleRate, both unsigned, rounded to single
// precision. A zero rate shows 0.0 ms. Always terminated.
void FormatStatusLine(uint32_t bits, uint32_t sampleRate, uint32_t bufferSize, char* out,
                      size_t size);

enum class FormatIndicator { Pcm, Dsd64, Dsd128, Dsd256 };
FormatIndicator IndicatorFor(uint32_t dsdActive, uint32_t dsd128, uint32_t dsd256);
inline constexpr const char* kIndicatorLabels[4] = {"TXT_ASIOPCM", "TXT_ASIODSD", "TXT_ASIODSD128",
                                                    "TXT_ASIODSD256"};

}  // namespace veltrano::cpl
