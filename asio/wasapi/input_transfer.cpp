// One capture packet: copied (or widened) into the host's half of its
// switch.
#include <windows.h>

#include <cstring>

#include "asio/core/kernels/sample_copy.h"
#include "asio/wasapi/streaming_common.h"
#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {
namespace {

// Input in 32-bit containers from a device recording 24 bits packed: each
// sample becomes the top three bytes of a little-endian 32-bit word.
void WidenFromInterleaved24(const uint8_t* src, uint8_t* dst, size_t frames, size_t stride) {
    for (size_t f = 0; f < frames; ++f, src += stride, dst += 4) {
        dst[0] = 0;
        dst[1] = src[0];
        dst[2] = src[1];
        dst[3] = src[2];
    }
}

}  // namespace

WasapiBackend::Served WasapiBackend::ReadInput(RateSlot& slot, EndpointStream& stream,
                                                uint32_t s, int64_t period) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 position = 0;
    const HRESULT hr =
        stream.captureClient->GetBuffer(&data, &frames, &flags, &position, nullptr);
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) return Served::kDeviceLost;
    if (FAILED(hr) || hr == AUDCLNT_S_BUFFER_EMPTY || frames == 0) return Served::kNone;
    // A packet that starts beyond where the last one ended follows packets
    // the engine dropped, the first one included (whose discontinuity flag
    // is no evidence: engines set it at every start).
    if (position != m_inputNext[s]) m_resyncDue = true;
    m_inputNext[s] = position + frames;
    // The input of switch k; the first queueDepth switches hand over
    // silence. A packet that would overwrite a half the host has not had
    // yet, or one that follows lost data, means time was lost.
    const int half = static_cast<int>((period + 1) % 2);
    const bool fits = period <= m_driver->switchCount + 1;
    const bool deliver = fits && period >= m_driver->queueDepth && data != nullptr;
    const size_t deviceBytes = m_inputBytes;
    const bool widen = m_widenInput;
    const size_t stride = deviceBytes * stream.activeChannels;
    const size_t count = frames < m_period ? frames : m_period;
    for (uint32_t r = 0; fits && r < slot.channelCount; ++r) {
        const ChannelRoute& route = slot.routes[r];
        if (route.stream != &stream || route.buffers[half] == nullptr) continue;
        auto* dst = static_cast<uint8_t*>(route.buffers[half]);
        if (!deliver) {
            std::memset(dst, 0, m_halfBytes);
            continue;
        }
        const uint8_t* src = data + route.channelInStream * deviceBytes;
        if (!widen && slot.IsStereoPair(r, half)) {
            kernels::DeinterleaveStereo(
                src, dst, static_cast<uint8_t*>(slot.routes[r + 1].buffers[half]), count,
                deviceBytes);
            ++r;
            continue;
        }
        if (widen) {
            WidenFromInterleaved24(src, dst, count, stride);
        } else {
            kernels::CopyFromInterleaved(src, dst, count, deviceBytes, stride);
        }
    }
    stream.captureClient->ReleaseBuffer(frames);
    if (!fits || ((flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0 && period > 0)) {
        m_resyncDue = true;
    }
    // A packet that did not fit is lost; period k waits for the next one.
    return fits ? Served::kPeriod : Served::kGap;
}

}  // namespace veltrano::asio
