// One output period: the host's half to the render endpoint, the check for
// periods the device played as silence, and the DSD-over-PCM scan.
#include <windows.h>

#include <cstring>

#include "asio/core/kernels/dop_detector.h"
#include "asio/core/kernels/sample_copy.h"
#include "common/contract/status_block.h"
#include "asio/wasapi/streaming_common.h"
#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {

// Lost time on output: the device position says it has played beyond what
// was written, so a period went out as silence.
void WasapiBackend::CheckOutputPosition(EndpointStream& stream, uint32_t s) {
    if (!stream.clock) return;
    UINT64 frequency = 0;
    UINT64 position = 0;
    if (FAILED(stream.clock->GetFrequency(&frequency)) || frequency == 0) return;
    if (FAILED(stream.clock->GetPosition(&position, nullptr))) return;
    const uint32_t rate = m_driver->InUseSlot(Direction::kOutput)->sampleRate;
    const uint64_t played = position * rate / frequency;
    const uint64_t needed = played + m_period;
    const uint64_t lost = needed > m_written[s] ? (needed - m_written[s]) / m_period : 0;
    if (lost > m_lostPeriods[s]) {
        m_lostPeriods[s] = lost;
        m_resyncDue = true;
    }
}

// Output periods the device has played as silence because the driver was
// late, the largest over the output streams, as the device says now.
uint64_t WasapiBackend::OutputPeriodsLost() {
    RateSlot* slot = m_driver->InUseSlot(Direction::kOutput);
    uint64_t lost = 0;
    for (uint32_t s = 0; slot != nullptr && s < slot->streamCount; ++s) {
        EndpointStream* stream = StreamAt(slot, s);
        if (stream == nullptr || !stream->ready) continue;
        CheckOutputPosition(*stream, s);
        if (m_lostPeriods[s] > lost) lost = m_lostPeriods[s];
    }
    return lost;
}

WasapiBackend::Served WasapiBackend::WriteOutput(RateSlot& slot, EndpointStream& stream,
                                                  uint32_t s, int64_t period) {
    BYTE* data = nullptr;
    const HRESULT hr = stream.renderClient->GetBuffer(m_period, &data);
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) return Served::kDeviceLost;
    // Still full: the engine has not taken the last period yet (an event
    // left over from a late wake), so this event asks for nothing.
    if (FAILED(hr) || data == nullptr) return Served::kNone;
    CheckOutputPosition(stream, s);
    // Period j carries the half of switch j - lead; before the first
    // switch, the halves as the host left them before the start, and before
    // those silence. A period whose switch has not been made (its capture
    // packet is later than the lead allows for, or lost) would replay an
    // old half: it plays silence instead and still counts as played, so the
    // output keeps its latency; the host is told time was lost, and the
    // buffer of that switch is not heard.
    const int64_t source = period - m_outputLead;
    const bool fresh = source <= m_driver->switchCount;
    const bool hostData = fresh && source >= -1;
    const int half = static_cast<int>((period + m_outputLead) % 2);
    const size_t sampleBytes = m_outputBytes;
    const size_t stride = sampleBytes * stream.activeChannels;
    // Channels without a host buffer get silence, never what the endpoint
    // buffer happened to hold.
    uint32_t buffered = 0;
    for (uint32_t r = 0; hostData && r < slot.channelCount; ++r) {
        const ChannelRoute& route = slot.routes[r];
        buffered += route.stream == &stream && route.buffers[half] != nullptr;
    }
    if (buffered < stream.activeChannels) {
        std::memset(data, SilenceByte(m_nativeDsd), m_period * stride);
    }
    const bool nativeDsd = m_driver->block->Read(&AsioStatusBlock::nativeDsd) != 0;
    const bool scan = kernels::DopScanApplies(sampleBytes, m_driver->pcmRate, nativeDsd);
    for (uint32_t r = 0; hostData && r < slot.channelCount; ++r) {
        const ChannelRoute& route = slot.routes[r];
        if (route.stream != &stream || route.buffers[half] == nullptr) continue;
        const auto* src = static_cast<const uint8_t*>(route.buffers[half]);
        if (slot.IsStereoPair(r, half)) {
            const auto* right = static_cast<const uint8_t*>(slot.routes[r + 1].buffers[half]);
            kernels::InterleaveStereo(src, right, data, m_period, sampleBytes);
            if (scan) {
                ScanForDop(src, m_period, sampleBytes);
                ScanForDop(right, m_period, sampleBytes);
            }
            ++r;
            continue;
        }
        kernels::CopyToInterleaved(src, data + route.channelInStream * sampleBytes, m_period,
                                   sampleBytes, stride);
        if (scan) ScanForDop(src, m_period, sampleBytes);
    }
    if (SUCCEEDED(stream.renderClient->ReleaseBuffer(m_period, 0))) m_written[s] += m_period;
    if (!fresh) m_resyncDue = true;
    return Served::kPeriod;
}

void WasapiBackend::ScanForDop(const uint8_t* samples, size_t frames, size_t sampleBytes) {
    const bool match = kernels::ScanDopMarkers(samples, frames, sampleBytes);
    if (match && InterlockedExchange(&m_driver->dopDetected, 1) == 0) {
        InterlockedExchange(&m_dopSendPending, 1);
        SetEvent(m_dopCommand.get());
    }
    m_driver->block->PublishDop(m_driver->classId, match);
}

}  // namespace veltrano::asio
