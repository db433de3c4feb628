#include "cpl/app/asio_view.h"

#include <cstdio>

#include "cpl/app/panel_tables.h"

namespace veltrano::cpl {

AsioStateTexts StateTexts(uint32_t state) {
    switch (state) {
        case kStatusLoaded: return {"LOADED", false};
        case kStatusInitialized: return {"INITIALIZED", true};
        case kStatusPrepared: return {"PREPARED", true};
        case kStatusRunning: return {"RUNNING", true};
        default: return {"UNLOAD", false};
    }
}

uint32_t NormalisedBitsSetting(uint32_t setting) {
    return setting == 16 || setting == 24 || setting == 32 ? setting : 16;
}

int BufferButtonIndex(uint32_t setting) {
    for (int i = 0; i < kAsioBufferCount; ++i) {
        if (kAsioBufferSettings[i] >= setting) return i;
    }
    return -1;
}

void FormatStatusLine(uint32_t bits, uint32_t sampleRate, uint32_t bufferSize, char* out,
                      size_t size) {
    if (out == nullptr || size == 0) return;
    const float ms = sampleRate == 0
                         ? 0.0f
                         : static_cast<float>(static_cast<double>(bufferSize) * 1000.0 /
                                              static_cast<double>(sampleRate));
    // The fields are unsigned in the block; shown as the signed numbers the
    // line has always shown.
    std::snprintf(out, size, "2 Channel, %d bits, %d Hz, Buffer %.1f ms", static_cast<int>(bits),
                  static_cast<int>(sampleRate), static_cast<double>(ms));
}

FormatIndicator IndicatorFor(uint32_t dsdActive, uint32_t dsd128, uint32_t dsd256) {
    if (dsdActive != 1) return FormatIndicator::Pcm;
    if (dsd128 == 1) return FormatIndicator::Dsd128;
    if (dsd256 == 1) return FormatIndicator::Dsd256;
    return FormatIndicator::Dsd64;
}

}  // namespace veltrano::cpl
