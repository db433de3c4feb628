// One capture packet: matched to its switch by device position, copied (or
// widened) into the host's half.
#include <windows.h>

#include <cmath>
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

// Periods, to the nearest, by which the render clock started after the
// capture clock, from the times the engines stamp on a packet and on the
// render position: capture period c feeds the switch of the output period
// written that many periods after it, so each packet comes about a period
// before the output needs its switch however the two streams' starts fell.
int64_t WasapiBackend::RenderStartLag(uint64_t capturePosition, uint64_t captureTime) {
    RateSlot* slot = m_driver->InUseSlot(Direction::kOutput);
    EndpointStream* render = StreamAt(slot, 0);
    if (render == nullptr || !render->ready || !render->clock || captureTime == 0) return 0;
    UINT64 frequency = 0;
    UINT64 position = 0;
    UINT64 time = 0;
    if (FAILED(render->clock->GetFrequency(&frequency)) || frequency == 0) return 0;
    if (FAILED(render->clock->GetPosition(&position, &time)) || time == 0) return 0;
    const double rate = slot->sampleRate;
    const double renderStart = static_cast<double>(time) - 1e7 * static_cast<double>(position) /
                                                               static_cast<double>(frequency);
    const double captureStart =
        static_cast<double>(captureTime) - 1e7 * static_cast<double>(capturePosition) / rate;
    const double period = 1e7 * m_period / rate;
    return static_cast<int64_t>(std::floor((renderStart - captureStart) / period + 0.5));
}

// A switch whose capture packet never came hands over silence rather than
// the packet of two switches before.
void WasapiBackend::SilenceStaleInput(int half, int64_t switchIndex) {
    RateSlot* slot = m_driver->InUseSlot(Direction::kInput);
    if (slot == nullptr) return;
    for (uint32_t r = 0; r < slot->channelCount; ++r) {
        const ChannelRoute& route = slot->routes[r];
        if (route.stream == nullptr || route.buffers[half] == nullptr) continue;
        for (uint32_t s = 0; s < slot->streamCount; ++s) {
            if (route.stream != StreamAt(slot, s) || m_inputSwitch[s][half] == switchIndex) continue;
            std::memset(route.buffers[half], 0, m_halfBytes);
        }
    }
}

WasapiBackend::Served WasapiBackend::ReadInput(RateSlot& slot, EndpointStream& stream,
                                                uint32_t s, bool retried) {
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    UINT64 position = 0;
    UINT64 recorded = 0;
    const HRESULT hr =
        stream.captureClient->GetBuffer(&data, &frames, &flags, &position, &recorded);
    (void)flags;
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) return Served::kDeviceLost;
    if (FAILED(hr) || hr == AUDCLNT_S_BUFFER_EMPTY || frames == 0) return Served::kNone;
    // A packet that starts beyond where the last one ended follows packets
    // the engine dropped, the first one included. The position is the
    // evidence, not the discontinuity flag: engines set that at every start,
    // and a packet kept for later comes with it again.
    if (position != m_inputNext[s]) {
        m_resyncDue = true;
        m_inputNext[s] = position;  // told once, however often it is read
    }
    m_inputKept &= ~(1u << s);
    // Packets are matched to switches by device position, not by count: a
    // lost packet costs its own switch's input, not every later switch a
    // period. Time the output lost (its underruns) the input loses too, so
    // the two keep the distance they started with.
    int64_t& served = m_served[static_cast<int>(Direction::kInput)][s];
    int64_t period = served;
    if ((m_activeDirections & (1u << static_cast<int>(Direction::kOutput))) != 0) {
        if ((m_inputAnchored & (1u << s)) == 0) {
            m_inputOrigin[s] = RenderStartLag(position, recorded);
            m_inputAnchored |= 1u << s;
        }
        period = static_cast<int64_t>(position / m_period) -
                 static_cast<int64_t>(OutputPeriodsLost()) - m_inputOrigin[s];
    }
    if (period < served) {
        // Its switch has gone by: the output lost more time than the input
        // did, and the host has heard of it.
        stream.captureClient->ReleaseBuffer(frames);
        m_inputNext[s] = position + frames;
        return Served::kNone;
    }
    if (period > served && !retried) {
        // The switches of the packets lost before this one go first, with
        // silence; the packet stays with the engine until they have.
        served = period;
        stream.captureClient->ReleaseBuffer(0);
        return Served::kRetry;
    }
    served = period;
    // A packet that would overwrite a half the host has not had yet (the
    // output event its switch also waits for has not been served): it stays
    // with the engine until the output has moved. Should the engine drop it
    // meanwhile, the next packet's position says so.
    if (period > m_driver->switchCount + 1) {
        stream.captureClient->ReleaseBuffer(0);
        m_inputKept |= 1u << s;
        return Served::kNone;
    }
    // The input of switch k; the first queueDepth switches hand over
    // silence.
    const int half = static_cast<int>((period + 1) % 2);
    const bool deliver = period >= m_driver->queueDepth && data != nullptr;
    const size_t deviceBytes = m_inputBytes;
    const bool widen = m_widenInput;
    const size_t stride = deviceBytes * stream.activeChannels;
    const size_t count = frames < m_period ? frames : m_period;
    for (uint32_t r = 0; r < slot.channelCount; ++r) {
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
    m_inputSwitch[s][half] = period;
    stream.captureClient->ReleaseBuffer(frames);
    m_inputNext[s] = position + frames;
    ++served;
    return Served::kPeriod;
}

}  // namespace veltrano::asio
