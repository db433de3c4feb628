#include "asio/ks/pin_buffers.h"

#include "asio/core/buffer_math.h"
#include "asio/ks/pin_stream.h"
#include "common/rate_table.h"
#include "kslib/ks_aud_pin.h"

namespace veltrano::asio::ks {
namespace {

DWORD ChannelMask(uint32_t channels) {
    switch (channels) {
        case 4:
            return 0x33;
        case 6:
            return 0x3F;
        case 8:
            return 0x63F;
        default:
            return 0x3;
    }
}

HRESULT SetPinFormat(kslib::CKsAudPin& pin, uint32_t rate, int bits, uint32_t channels) {
    WAVEFORMATEXTENSIBLE ext{};
    ext.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    ext.Format.nChannels = static_cast<WORD>(channels);
    ext.Format.nSamplesPerSec = rate;
    ext.Format.nBlockAlign = static_cast<WORD>(bits / 8 * channels);
    ext.Format.nAvgBytesPerSec = rate * ext.Format.nBlockAlign;
    ext.Format.wBitsPerSample = static_cast<WORD>(bits);
    ext.Format.cbSize = 22;
    ext.Samples.wValidBitsPerSample = static_cast<WORD>(bits);
    ext.dwChannelMask = ChannelMask(channels);
    ext.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    HRESULT hr = pin.SetFormat(&ext.Format);
    if (SUCCEEDED(hr)) hr = pin.Instantiate(FALSE);
    if (SUCCEEDED(hr)) hr = pin.Reset();
    return hr;
}

// Formats are tried from the channels in use upwards: USB audio interfaces
// often accept only their full channel count.
// `busy` is set when some attempt found the pin held by another client.
bool OpenPin(PinStream& pin, const BufferFormat& format, bool& busy) {
    if (pin.pin == nullptr) return false;
    for (uint32_t channels = pin.activeChannels; channels <= pin.maxChannels; ++channels) {
        const HRESULT hr = SetPinFormat(*pin.pin, format.pcmRate, format.bitsPerSample, channels);
        if (SUCCEEDED(hr)) {
            pin.activeChannels = channels;
            return true;
        }
        if (hr == HRESULT_FROM_WIN32(ERROR_BUSY)) busy = true;
    }
    pin.pin->ClosePin();
    return false;
}

bool AllocatePackets(PinStream& pin, bool input, uint32_t framesPerPacket, int bitsPerSample) {
    const uint64_t bytes =
        uint64_t{framesPerPacket} * pin.activeChannels * static_cast<uint64_t>(bitsPerSample) / 8;
    pin.framesPerPacket = framesPerPacket;
    bool complete = bytes > 0 && bytes <= 0x7FFFFFFF;
    for (StreamPacket& packet : pin.packets) {
        void* data = complete ? LocalAlloc(LPTR, static_cast<SIZE_T>(bytes)) : nullptr;
        if (data == nullptr) {
            complete = false;
            continue;
        }
        packet.header.Data = data;
        packet.header.FrameExtent = static_cast<ULONG>(bytes);
        packet.header.DataUsed = input ? 0 : static_cast<ULONG>(bytes);
    }
    return complete;
}

}  // namespace

bool BufferSizeAcceptable(const BufferFormat& format, uint32_t asioRate, long bufferSize) {
    if (bufferSize <= 0) return false;
    if (format.dsd) {
        return bufferSize % kDsdBitsPerCarrierSample == 0 &&
               bufferSize <= FramesForMs(asioRate, 100);
    }
    return bufferSize <= FramesForMs(format.pcmRate, kMaxBufferMs);
}

ASIOError AllocateSlot(RateSlot& slot, bool input, ASIOBufferInfo* infos, long count,
                       long bufferSize, const BufferFormat& format) {
    const auto frames =
        static_cast<uint32_t>(format.dsd ? bufferSize / kDsdBitsPerCarrierSample : bufferSize);
    const SIZE_T halfBytes = format.dsd ? static_cast<SIZE_T>(bufferSize) / 8
                                        : static_cast<SIZE_T>(bufferSize) *
                                              static_cast<SIZE_T>(format.bitsPerSample / 8);
    for (long i = 0; i < count; ++i) {
        ASIOBufferInfo& info = infos[i];
        if ((info.isInput != ASIOFalse) != input) continue;
        if (info.channelNum < 0 || static_cast<uint32_t>(info.channelNum) >= slot.channelCount) {
            return ASE_InvalidParameter;
        }
        ChannelRoute& route = slot.routes[static_cast<uint32_t>(info.channelNum)];
        if (!route.exists || route.stream == nullptr || route.enabled) return ASE_InvalidParameter;
        route.buffers[0] = LocalAlloc(LPTR, halfBytes);
        route.buffers[1] = LocalAlloc(LPTR, halfBytes);
        route.framesPerHalf = frames;
        route.enabled = true;
        info.buffers[0] = route.buffers[0];
        info.buffers[1] = route.buffers[1];
        if (route.buffers[0] == nullptr || route.buffers[1] == nullptr) return ASE_NoMemory;
        DeviceStream& stream = *route.stream;
        stream.inUse = true;
        if (stream.activeChannels < route.channelInStream + 1) {
            stream.activeChannels = route.channelInStream + 1;
        }
    }
    ASIOError result = ASE_OK;
    bool wanted = false;
    bool busy = false;
    for (uint32_t j = 0; j < slot.streamCount && j < kPinsPerSlot; ++j) {
        auto& pin = static_cast<PinStream&>(*slot.streams[j]);
        if (!pin.inUse || pin.activeChannels == 0) continue;
        wanted = true;
        if (!OpenPin(pin, format, busy)) continue;  // its channels stay silent
        pin.ready = true;
        slot.readyStreamMask |= 1u << j;
        if (!AllocatePackets(pin, input, frames, format.bitsPerSample)) result = ASE_NoMemory;
    }
    if (result == ASE_OK && wanted && slot.readyStreamMask == 0) {
        return busy ? ASE_NotPresent : ASE_HWMalfunction;
    }
    return result;
}

void ReleaseSlot(RateSlot& slot) {
    for (uint32_t j = 0; j < slot.streamCount && j < kPinsPerSlot; ++j) {
        auto& pin = static_cast<PinStream&>(*slot.streams[j]);
        if (!pin.inUse) continue;
        for (StreamPacket& packet : pin.packets) {
            if (packet.header.Data != nullptr) LocalFree(packet.header.Data);
            packet.header.Data = nullptr;
            packet.header.FrameExtent = 0;
            packet.header.DataUsed = 0;
        }
        pin.framesPerPacket = 0;
        pin.activeChannels = 0;
        if (pin.ready && pin.pin != nullptr) pin.pin->ClosePin();
        pin.ready = false;
        pin.inUse = false;
    }
    slot.readyStreamMask = 0;
    for (uint32_t r = 0; r < slot.channelCount && r < kMaxChannelsPerSlot; ++r) {
        ChannelRoute& route = slot.routes[r];
        for (void*& buffer : route.buffers) {
            if (buffer != nullptr) LocalFree(buffer);
            buffer = nullptr;
        }
        route.enabled = false;
        route.framesPerHalf = 0;
    }
}

}  // namespace veltrano::asio::ks
