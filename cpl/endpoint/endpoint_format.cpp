// Reading the device format back and applying a rate and depth.

#include "cpl/endpoint/audio_endpoint_set.h"

namespace veltrano::cpl {

HRESULT AudioEndpointSet::ReadFormat(int direction, int index, EndpointFormat* format) {
    EndpointRecord* record = nullptr;
    HRESULT hr = RecordFor(direction, index, &record);
    if (FAILED(hr)) return hr;
    WAVEFORMATEXTENSIBLE buffer{};
    size_t copied = 0;
    hr = ReadProperty(direction, record->endpointIndex, kKeyDeviceFormat, nullptr, 0, &buffer,
                      sizeof(buffer), &copied);
    if (FAILED(hr)) return hr;
    // A value that is not even a WAVEFORMATEX says nothing about the
    // format: report it instead of a format of zeros.
    if (copied < sizeof(WAVEFORMATEX)) return HRESULT_FROM_WIN32(ERROR_INVALID_DATA);
    record->deviceFormat = buffer;
    format->sampleRate = buffer.Format.nSamplesPerSec;
    format->bitsPerSample = buffer.Format.wBitsPerSample;
    format->channels = buffer.Format.nChannels;
    format->channelMask = buffer.dwChannelMask;
    return S_OK;
}

HRESULT AudioEndpointSet::ReadPlaybackFormat(uint32_t* sampleRate, uint16_t* bitsPerSample,
                                             uint16_t* channels, uint32_t* channelMask) {
    if (sampleRate == nullptr || bitsPerSample == nullptr || channels == nullptr ||
        channelMask == nullptr) {
        return E_FAIL;
    }
    EndpointFormat format;
    const HRESULT hr = ReadFormat(kRender, 0, &format);
    if (FAILED(hr)) return hr;
    *sampleRate = format.sampleRate;
    *bitsPerSample = format.bitsPerSample;
    *channels = format.channels;
    *channelMask = format.channelMask;
    return S_OK;
}

HRESULT AudioEndpointSet::ReadRecordFormat(int captureIndex, uint32_t* sampleRate,
                                           uint16_t* bitsPerSample, uint16_t* channels,
                                           uint32_t* channelMask) {
    if (sampleRate == nullptr || bitsPerSample == nullptr || channels == nullptr ||
        channelMask == nullptr) {
        return E_FAIL;
    }
    EndpointFormat format;
    const HRESULT hr = ReadFormat(kCapture, captureIndex, &format);
    if (FAILED(hr)) return hr;
    *sampleRate = format.sampleRate;
    *bitsPerSample = format.bitsPerSample;
    *channels = format.channels;
    *channelMask = format.channelMask;
    return S_OK;
}

HRESULT AudioEndpointSet::ApplyFormat(int direction, int index, uint16_t bitsPerSample,
                                      uint32_t sampleRate) {
    EndpointRecord* record = nullptr;
    HRESULT hr = RecordFor(direction, index, &record);
    if (FAILED(hr)) return hr;
    // A depth or rate that cannot describe a stream would be stored as the
    // engine's device format and break the endpoint.
    if (bitsPerSample == 0 || bitsPerSample % 8 != 0 || bitsPerSample > 32 || sampleRate == 0) {
        return E_INVALIDARG;
    }
    // Tag and extension size stay as stored, unless what is stored cannot
    // carry the subformat and valid bits written below.
    WAVEFORMATEXTENSIBLE format = record->deviceFormat;
    if (format.Format.wFormatTag != WAVE_FORMAT_EXTENSIBLE || format.Format.cbSize < 22) {
        format.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
        format.Format.cbSize = 22;
    }
    format.Format.nChannels = 2;
    format.Format.nSamplesPerSec = sampleRate;
    format.Format.nBlockAlign = static_cast<WORD>(bitsPerSample / 8 * 2);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * sampleRate;
    format.Format.wBitsPerSample = bitsPerSample;
    format.Samples.wValidBitsPerSample = bitsPerSample;
    format.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    format.SubFormat = kSubtypePcm;
    const UINT endpoint = record->endpointIndex;
    hr = WriteProperty(direction, endpoint, kKeyDeviceFormat, format);
    if (FAILED(hr)) return hr;

    format.Format.wBitsPerSample = 32;
    format.Samples.wValidBitsPerSample = 32;
    format.Format.nBlockAlign = static_cast<WORD>(format.Format.nChannels * 4);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * sampleRate;
    format.SubFormat = kSubtypeFloat;
    hr = WriteProperty(direction, endpoint, kKeyMixFormat, format);
    if (FAILED(hr)) return hr;

    // The engines of Windows 8, 8.1 and 10 workstations keep further float
    // companions.
    if (m_os.kind == 6 || m_os.kind == 7 || m_os.kind == 10) {
        hr = WriteProperty(direction, endpoint, kKeyFloatFormat3, format);
        if (FAILED(hr)) return hr;
        hr = WriteProperty(direction, endpoint, kKeyFloatFormat2, format);
        if (FAILED(hr)) return hr;
        if (direction == kRender) {
            hr = WriteProperty(direction, endpoint, kKeyRenderFloatFormat, format);
            if (FAILED(hr)) return hr;
        }
    }
    record->deviceFormat = format;
    return hr;
}

HRESULT AudioEndpointSet::ApplyPlaybackFormat(uint16_t bitsPerSample, uint32_t sampleRate) {
    return ApplyFormat(kRender, 0, bitsPerSample, sampleRate);
}

HRESULT AudioEndpointSet::ApplyRecordFormat(int captureIndex, uint16_t bitsPerSample,
                                            uint32_t sampleRate) {
    return ApplyFormat(kCapture, captureIndex, bitsPerSample, sampleRate);
}

}  // namespace veltrano::cpl
