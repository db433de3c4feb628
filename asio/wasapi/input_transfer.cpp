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

// Capture packets are counted to switches, and each direction loses time
// on its own: the output when the device played silence for want of a
// period, the input when the engine dropped packets. Each takes on the
// other's losses, so the two stay as far apart as they started: a packet
// the engine dropped hands its switch silence instead of moving every later
// switch a period on (which would leave the output waiting for its
// switches for good), and a period the output lost costs the input a packet
// instead of a period of latency. The host hears of the input's own losses
// here, once per debt: what both directions lost the output tells.
// False: this packet is dropped.
bool WasapiBackend::MatchInputToOutput(RateSlot& slot, const EndpointStream& stream, uint32_t s,
                                       uint64_t packetsLost, int64_t& period) {
    if (!BothWays()) return true;
    const uint64_t outputLost = OutputPeriodsLost();
    m_inputOwed[s] += static_cast<int64_t>(outputLost - m_outputLossSeen[s]) -
                      static_cast<int64_t>(packetsLost);
    m_outputLossSeen[s] = outputLost;
    if (m_inputOwed[s] >= 0) m_debtTold[s] = false;
    if (m_inputOwed[s] > 0) {
        --m_inputOwed[s];
        return false;
    }
    PayInputDebt(slot, stream, s, period);
    return true;
}

// Switches whose packets were lost get silence, as far as halves the host
// has had allow; the rest once the switches before them are made. True: a
// switch got silence.
bool WasapiBackend::PayInputDebt(RateSlot& slot, const EndpointStream& stream, uint32_t s,
                                 int64_t& period) {
    if (m_inputOwed[s] >= 0) return false;
    const int64_t room = m_driver->switchCount + 1 - period;
    const int64_t skip = -m_inputOwed[s] < room ? -m_inputOwed[s] : room;
    for (int64_t p = period; p < period + skip; ++p) {
        const int half = static_cast<int>((p + 1) % 2);
        for (uint32_t r = 0; r < slot.channelCount; ++r) {
            const ChannelRoute& route = slot.routes[r];
            if (route.stream != &stream || route.buffers[half] == nullptr) continue;
            std::memset(route.buffers[half], 0, m_halfBytes);
        }
    }
    if (skip > 0) {
        period += skip;
        m_served[static_cast<int>(Direction::kInput)][s] = period;
        m_inputOwed[s] += skip;
        m_resyncDue = m_resyncDue || !m_debtTold[s];
        m_debtTold[s] = m_inputOwed[s] < 0;
    }
    return skip > 0;
}

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
    const bool gap = position != m_inputNext[s] ||
                     ((flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY) != 0 && period > 0);
    const uint64_t packetsLost =
        position > m_inputNext[s] ? (position - m_inputNext[s]) / m_period : 0;
    m_inputNext[s] = position + frames;
    if (!MatchInputToOutput(slot, stream, s, packetsLost, period)) {
        stream.captureClient->ReleaseBuffer(frames);
        return Served::kGap;
    }
    // The input of switch k; the first queueDepth switches hand over
    // silence. A packet that would overwrite a half the host has not had
    // yet, or one that follows lost data, means time was lost: input alone
    // tells the host here.
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
    if (!BothWays() && (gap || !fits)) m_resyncDue = true;
    if (fits) return Served::kPeriod;
    // A packet that did not fit is lost, and period k waits for the next
    // one: the output has fallen behind, and the periods it lost by then
    // are owed no packet again.
    if (BothWays()) --m_inputOwed[s];
    return Served::kGap;
}

}  // namespace veltrano::asio
