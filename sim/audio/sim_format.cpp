#include "sim/audio/sim_format.h"

#include <ks.h>
#include <ksmedia.h>

#include "common/rate_table.h"

namespace veltrano::sim {
namespace {

constexpr GUID kSubtypePcm = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

bool RateListed(uint32_t mask, uint32_t rate) {
    const int index = RateIndex(rate);
    return index >= 0 && (mask & (1u << index)) != 0;
}

}  // namespace

bool AcceptsFormat(const VirtualEndpointConfig& config, const WAVEFORMATEX* format,
                   StreamFormat* out) {
    if (format == nullptr) return false;
    StreamFormat f{format->nSamplesPerSec, format->nChannels, format->wBitsPerSample,
                   format->wBitsPerSample, format->nBlockAlign};
    if (format->wFormatTag == WAVE_FORMAT_EXTENSIBLE) {
        if (format->cbSize < 22) return false;
        const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(format);
        if (!IsEqualGUID(ext->SubFormat, kSubtypePcm)) return false;
        f.validBits = ext->Samples.wValidBitsPerSample;
    } else if (format->wFormatTag != WAVE_FORMAT_PCM) {
        return false;
    }
    if (f.containerBits % 8 != 0 || f.channels == 0) return false;
    if (f.blockAlign != f.containerBits / 8 * f.channels) return false;
    if (format->nAvgBytesPerSec != static_cast<DWORD>(f.blockAlign) * f.sampleRate) return false;
    if (f.channels < config.minChannels || f.channels > config.maxChannels) return false;
    if (!RateListed(config.rateMask, f.sampleRate)) return false;
    bool listed = false;
    for (const SampleContainer& c : config.containers) {
        listed = listed || (c.container == f.containerBits && c.valid == f.validBits);
    }
    if (!listed) return false;
    if (out != nullptr) *out = f;
    return true;
}

WAVEFORMATEXTENSIBLE DeviceFormat(const VirtualEndpointConfig& config) {
    SampleContainer widest{16, 16};
    for (const SampleContainer& c : config.containers) {
        if (c.container > widest.container) widest = c;
    }
    uint32_t rate = 48000;
    for (int i = 0; i < kRateCount; ++i) {
        if (config.rateMask & (1u << i)) {
            rate = kRateTable[i];
            break;
        }
    }
    WAVEFORMATEXTENSIBLE format{};
    format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = rate;
    format.Format.wBitsPerSample = widest.container;
    format.Format.nBlockAlign = static_cast<WORD>(widest.container / 8 * 2);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * rate;
    format.Format.cbSize = 22;
    format.Samples.wValidBitsPerSample = widest.valid;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = kSubtypePcm;
    return format;
}

}  // namespace veltrano::sim
