// mmsystem.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cmath>
#include <cstring>

#include "asio/core/buffer_switch.h"
#include "asio/core/device_commands.h"
#include "asio/core/kernels/dop_detector.h"
#include "asio/core/kernels/sample_copy.h"
#include "asio/core/pro_audio_class.h"
#include "asio/core/status_block.h"
#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {
namespace {

constexpr int64_t kWatchdogDue = -20000000;  // 2 s, relative, 100-ns units
constexpr uint8_t kDsdSilence = 0x69;

int64_t NowNanoseconds() { return static_cast<int64_t>(timeGetTime()) * 1000000; }

// The device's silence: zero samples, or the DSD idle pattern.
uint8_t SilenceByte(bool nativeDsd) { return nativeDsd ? kDsdSilence : 0; }

EndpointStream* StreamAt(RateSlot* slot, uint32_t index) {
    if (slot == nullptr || index >= slot->streamCount) return nullptr;
    return static_cast<EndpointStream*>(slot->streams[index]);
}

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

DWORD WINAPI WasapiBackend::StreamingThread(void* self) {
    const ProAudioClass proAudio;
    static_cast<WasapiBackend*>(self)->RunStreaming();
    return 0;
}

// Asks for a reset at most once per buffer set (the timer leaves the wait
// once it fired) and sends the DSD-over-PCM on command for the streaming
// thread until the set is disposed.
DWORD WINAPI WasapiBackend::WatchdogThread(void* self) {
    auto* backend = static_cast<WasapiBackend*>(self);
    const HANDLE handles[3] = {backend->m_watchdogExit.get(), backend->m_dopCommand.get(),
                               backend->m_watchdogTimer.get()};
    DWORD count = 3;
    for (;;) {
        const DWORD w = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0 + 1) {
            backend->SendPendingDopCommand();
            continue;
        }
        if (w == WAIT_OBJECT_0 + 2) {
            SetEvent(backend->m_control[kResetCheck].get());
            CancelWaitableTimer(backend->m_watchdogTimer.get());
            count = 2;
            continue;
        }
        break;
    }
    // A command asked for just before the set ends still goes out.
    backend->SendPendingDopCommand();
    CancelWaitableTimer(backend->m_watchdogTimer.get());
    return 0;
}

void WasapiBackend::SendPendingDopCommand() {
    // Cleared only once sent, so a stop that waits for it never sends the
    // off command ahead of the on command.
    if (m_dopSendPending != 0) {
        SendDeviceCommand(m_vendorId, m_productId, DeviceCommand::kDop, true);
        InterlockedExchange(&m_dopSendPending, 0);
    }
    SetEvent(m_dopCommandSent.get());
}

void WasapiBackend::FillWaitArray(HANDLE* handles) {
    for (int c = 0; c < kControlCount; ++c) handles[c] = m_control[c].get();
    for (Direction d : {Direction::kOutput, Direction::kInput}) {
        const RateSlot* slot = m_driver->InUseSlot(d);
        const int rate = slot != nullptr ? RateIndex(slot->sampleRate) : -1;
        auto& streams = m_streams[static_cast<int>(d)][rate >= 0 ? rate : 0];
        const int first = d == Direction::kOutput ? kFirstOutput : kFirstInput;
        for (uint32_t s = 0; s < kMaxStreamsPerSlot; ++s) {
            ResetEvent(streams[s].event);
            handles[first + static_cast<int>(s)] = streams[s].event;
        }
    }
}

void WasapiBackend::ArmWatchdog() {
    if (m_deviceLost) return;  // the host has been told once already
    LARGE_INTEGER due;
    due.QuadPart = kWatchdogDue;
    SetWaitableTimer(m_watchdogTimer.get(), &due, 0, nullptr, nullptr, FALSE);
}

void WasapiBackend::StartStreams() {
    std::memset(m_served, 0, sizeof(m_served));
    std::memset(m_written, 0, sizeof(m_written));
    std::memset(m_lostPeriods, 0, sizeof(m_lostPeriods));
    std::memset(m_inputNext, 0, sizeof(m_inputNext));
    m_inputKept = 0;
    m_inputAnchored = 0;
    std::memset(m_inputOrigin, 0, sizeof(m_inputOrigin));
    for (auto& halves : m_inputSwitch) halves[0] = halves[1] = -1;
    m_resyncToldAt = -1;
    ResetTransport(*m_driver, NowNanoseconds());
    // One period queued before the start, so the first event asks for the
    // second: silence for the device while the host fills its first half.
    if (RateSlot* out = m_driver->InUseSlot(Direction::kOutput)) {
        for (uint32_t s = 0; s < out->streamCount; ++s) {
            EndpointStream* stream = StreamAt(out, s);
            if (stream == nullptr || !stream->ready) continue;
            BYTE* data = nullptr;
            const HRESULT hr = stream->renderClient->GetBuffer(m_period, &data);
            if (hr == AUDCLNT_E_DEVICE_INVALIDATED) m_lostAtStart = true;
            if (FAILED(hr) || data == nullptr) continue;
            const size_t bytes =
                static_cast<size_t>(m_period) * stream->activeChannels * m_outputBytes;
            std::memset(data, SilenceByte(m_nativeDsd), bytes);
            if (SUCCEEDED(stream->renderClient->ReleaseBuffer(m_period, 0))) {
                m_written[s] = m_period;
            }
        }
    }
    for (Direction d : {Direction::kInput, Direction::kOutput}) {
        RateSlot* slot = m_driver->InUseSlot(d);
        for (uint32_t s = 0; slot != nullptr && s < slot->streamCount; ++s) {
            EndpointStream* stream = StreamAt(slot, s);
            if (stream != nullptr && stream->ready) stream->audioClient->Start();
        }
    }
}

void WasapiBackend::StopStreams() {
    for (Direction d : {Direction::kInput, Direction::kOutput}) {
        RateSlot* slot = m_driver->InUseSlot(d);
        for (uint32_t s = 0; slot != nullptr && s < slot->streamCount; ++s) {
            EndpointStream* stream = StreamAt(slot, s);
            if (stream != nullptr && stream->ready) stream->audioClient->Stop();
        }
    }
}

// A stopped exclusive stream keeps its unplayed period and its unread
// packet; a start must begin with silence and new data only, so both go,
// and so do the host's halves (what the host writes between stop and start
// is still played first).
void WasapiBackend::ResetAndClear() {
    for (Direction d : {Direction::kInput, Direction::kOutput}) {
        RateSlot* slot = m_driver->InUseSlot(d);
        if (slot == nullptr) continue;
        for (uint32_t s = 0; s < slot->streamCount; ++s) {
            EndpointStream* stream = StreamAt(slot, s);
            if (stream != nullptr && stream->ready) stream->audioClient->Reset();
        }
        const bool output = d == Direction::kOutput;
        for (uint32_t r = 0; r < slot->channelCount; ++r) {
            ChannelRoute& route = slot->routes[r];
            if (route.stream == nullptr || !route.enabled) continue;
            const size_t bytes = m_halfBytes;
            for (void* half : route.buffers) {
                if (half != nullptr) {
                    std::memset(half, output ? SilenceByte(m_nativeDsd) : 0, bytes);
                }
            }
        }
    }
}

void WasapiBackend::StopTransport() {
    if (m_running) {
        StopStreams();
        ResetAndClear();
    }
    CancelWaitableTimer(m_watchdogTimer.get());
    m_running = false;
}

void WasapiBackend::RunStreaming() {
    m_activeDirections = 0;
    for (Direction d : {Direction::kOutput, Direction::kInput}) {
        const RateSlot* slot = m_driver->InUseSlot(d);
        if (slot != nullptr && slot->readyStreamMask != 0) {
            m_activeDirections |= 1u << static_cast<int>(d);
        }
    }
    HANDLE handles[kWaitCount];
    FillWaitArray(handles);
    m_running = false;
    m_leaveNow = false;
    m_deviceLost = false;
    StatusBlock& block = *m_driver->block;
    const GUID id = m_driver->classId;

    for (;;) {
        DWORD index;
        if (InterlockedExchange(&m_restartRequest, 0) != 0) {
            index = WAIT_OBJECT_0 + kStart;
        } else {
            index = WaitForMultipleObjects(kWaitCount, handles, FALSE, INFINITE);
            if (index == WAIT_FAILED || index == WAIT_TIMEOUT) break;
            index -= WAIT_OBJECT_0;
            if (index >= kWaitCount) break;  // an abandoned handle: none is a mutex
        }
        bool leave = false;
        switch (index) {
            case kExit:
                CancelWaitableTimer(m_watchdogTimer.get());
                leave = true;
                break;
            case kStart:
                // Whichever of flag and event comes first starts the streams
                // and answers: the thread's own start-up may have cleared the
                // event of a start made right after createBuffers.
                if (!m_running) {
                    m_lostAtStart = false;
                    StartStreams();
                    SetEvent(m_acknowledge.get());
                    m_running = true;
                }
                CancelWaitableTimer(m_watchdogTimer.get());
                ArmWatchdog();
                if (m_lostAtStart) {
                    m_lostAtStart = false;
                    DeviceLost();
                }
                break;
            case kStop:
                StopTransport();
                SetEvent(m_acknowledge.get());
                break;
            case kResetCheck:
                ArmWatchdog();
                if (m_driver->rateChanged != 0) {
                    if (auto* notify = m_driver->callbacks.sampleRateDidChange) {
                        notify(m_driver->HostRate());
                    }
                    // Torn down during the notice: the set is gone.
                    if (m_leaveNow) return;
                    m_driver->rateChanged = 0;
                }
                if (auto* message = m_driver->callbacks.asioMessage) {
                    message(kAsioResetRequest, 0, nullptr, nullptr);
                }
                break;
            default:
                if (m_running) ArmWatchdog();
                if (index < static_cast<DWORD>(kFirstInput)) {
                    ServeStream(Direction::kOutput, index - kFirstOutput);
                } else {
                    ServeStream(Direction::kInput, index - kFirstInput);
                }
                break;
        }
        // The host tore the set down from inside a callback: what this
        // thread used is gone, so it touches nothing more.
        if (m_leaveNow) return;
        if (block.TakeResetRequest(id)) {
            if (auto* message = m_driver->callbacks.asioMessage) {
                message(kAsioResetRequest, 0, nullptr, nullptr);
            }
        }
        if (m_leaveNow) return;
        if (leave) break;
    }
    if (m_running) StopStreams();
    m_running = false;
}

// The device is gone: the host hears it once, as a reset request, and no
// stream is served again in this set.
void WasapiBackend::DeviceLost() {
    if (m_deviceLost) return;
    m_deviceLost = true;
    CancelWaitableTimer(m_watchdogTimer.get());
    if (auto* message = m_driver->callbacks.asioMessage) {
        message(kAsioResetRequest, 0, nullptr, nullptr);
    }
}

void WasapiBackend::RequestResync() {
    if (auto* message = m_driver->callbacks.asioMessage) {
        message(kAsioResyncRequest, 0, nullptr, nullptr);
    }
}

void WasapiBackend::ServeStream(Direction direction, uint32_t s) {
    RateSlot* slot = m_driver->InUseSlot(direction);
    if (slot == nullptr || m_period == 0 || m_deviceLost) return;
    EndpointStream* stream = StreamAt(slot, s);
    if (stream == nullptr || !stream->ready) return;
    // Nothing moves while stopped (a stop made from inside a callback
    // leaves its last events behind).
    if (!m_running) return;
    if (direction == Direction::kOutput &&
        m_served[static_cast<int>(direction)][s] > m_driver->switchCount + 1) {
        TakeWaitingInput();
        if (m_leaveNow || !m_running || m_deviceLost) return;
    }
    Served served = direction == Direction::kOutput ? WriteOutput(*slot, *stream, s)
                                                    : ReadInput(*slot, *stream, s, false);
    if (served == Served::kRetry) {
        TellResync();
        if (m_leaveNow || !m_running) return;
        DispatchDue();
        if (m_leaveNow || !m_running) return;
        served = ReadInput(*slot, *stream, s, true);
    }
    if (served == Served::kDeviceLost) {
        DeviceLost();
        return;
    }
    // Told after the period is done: a host may tear the set down from
    // inside the message.
    TellResync();
    if (m_leaveNow || !m_running) return;
    if (served == Served::kNone) return;
    DispatchDue();
    if (m_leaveNow || !m_running) return;
    // A capture packet kept for this output period's move goes now.
    if (direction == Direction::kOutput && m_inputKept != 0) TakeWaitingInput();
}

// The capture packet an output period waits for may be in already: its
// event and the output's came in one wake, and the wait names the output's
// first. Taking it now makes the switch before the output is judged late.
void WasapiBackend::TakeWaitingInput() {
    if ((m_activeDirections & (1u << static_cast<int>(Direction::kInput))) == 0) return;
    const RateSlot* slot = m_driver->InUseSlot(Direction::kInput);
    for (uint32_t s = 0; slot != nullptr && s < slot->streamCount; ++s) {
        if ((slot->readyStreamMask & (1u << s)) == 0) continue;
        ServeStream(Direction::kInput, s);
        if (m_leaveNow || !m_running || m_deviceLost) return;
    }
}

// Time was lost: the host hears of it once, however many streams noticed
// the loss before the next switch.
void WasapiBackend::TellResync() {
    if (!m_resyncDue) return;
    m_resyncDue = false;
    if (m_resyncToldAt == m_driver->switchCount) return;
    m_resyncToldAt = m_driver->switchCount;
    RequestResync();
}

// Output periods the device has played as silence because the driver was
// late (its underruns, read off the render clock): the output is later by
// these for good, and so the input is too.
uint64_t WasapiBackend::OutputPeriodsLost() {
    if ((m_activeDirections & (1u << static_cast<int>(Direction::kOutput))) == 0) return 0;
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

// Switch k is due once every ready stream of every active direction has
// served its period k. Normally one switch per event; after a direction
// caught up, each switch it owes, in order.
void WasapiBackend::DispatchDue() {
    for (;;) {
        int64_t ready = INT64_MAX;
        for (Direction d : {Direction::kOutput, Direction::kInput}) {
            const int di = static_cast<int>(d);
            if ((m_activeDirections & (1u << di)) == 0) continue;
            const RateSlot* slot = m_driver->InUseSlot(d);
            for (uint32_t s = 0; s < slot->streamCount; ++s) {
                if ((slot->readyStreamMask & (1u << s)) == 0) continue;
                if (m_served[di][s] < ready) ready = m_served[di][s];
            }
        }
        if (ready == INT64_MAX || m_driver->switchCount >= ready) return;
        // A stop is on its way: a switch the host will not get must not
        // move the position it reads either.
        if (m_stopped != 0) return;
        const int half = static_cast<int>((m_driver->switchCount + 1) % 2);
        if ((m_activeDirections & (1u << static_cast<int>(Direction::kInput))) != 0) {
            SilenceStaleInput(half, m_driver->switchCount);
        }
        m_driver->samplePosition += m_hostFramesPerPeriod;
        m_driver->systemTime = NowNanoseconds();
        Dispatch(half);
        if (m_leaveNow || !m_running) return;
    }
}

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

WasapiBackend::Served WasapiBackend::WriteOutput(RateSlot& slot, EndpointStream& stream,
                                                  uint32_t s) {
    BYTE* data = nullptr;
    const HRESULT hr = stream.renderClient->GetBuffer(m_period, &data);
    if (hr == AUDCLNT_E_DEVICE_INVALIDATED) return Served::kDeviceLost;
    // Still full: the engine has not taken the last period yet (an event
    // left over from a late wake), so this event asks for nothing.
    if (FAILED(hr) || data == nullptr) return Served::kNone;
    CheckOutputPosition(stream, s);
    // Period j carries the half the host filled at switch j - 2. When that
    // switch has not come (its capture packet is late or lost), period j
    // goes out as silence and counts as played: the half the host fills
    // when the switch does come is never heard, and the output keeps its
    // latency instead of growing by a period at every late packet.
    int64_t& period = m_served[static_cast<int>(Direction::kOutput)][s];
    const bool fresh = period <= m_driver->switchCount + 1;
    const int half = static_cast<int>((period + 1) % 2);
    const size_t sampleBytes = m_outputBytes;
    const size_t stride = sampleBytes * stream.activeChannels;
    // Channels without a host buffer get silence, never what the endpoint
    // buffer happened to hold.
    uint32_t buffered = 0;
    for (uint32_t r = 0; fresh && r < slot.channelCount; ++r) {
        const ChannelRoute& route = slot.routes[r];
        buffered += route.stream == &stream && route.buffers[half] != nullptr;
    }
    if (buffered < stream.activeChannels) {
        std::memset(data, SilenceByte(m_nativeDsd), m_period * stride);
    }
    const bool nativeDsd = m_driver->block->Read(&AsioStatusBlock::nativeDsd) != 0;
    const bool scan = kernels::DopScanApplies(sampleBytes, m_driver->pcmRate, nativeDsd);
    for (uint32_t r = 0; fresh && r < slot.channelCount; ++r) {
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
    ++period;
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

void WasapiBackend::Dispatch(int half) {
    DriverState& driver = *m_driver;
    // What getSamplePosition reports until the next switch.
    PublishSwitch(driver);
    const ASIOCallbacks& host = driver.callbacks;
    if (driver.hostTimeInfo && host.bufferSwitchTimeInfo != nullptr) {
        FillAsioTime(driver, m_time);
        if (m_stopped == 0) host.bufferSwitchTimeInfo(&m_time, half, ASIOTrue);
        return;
    }
    if (m_stopped == 0 && host.bufferSwitch != nullptr) host.bufferSwitch(half, ASIOTrue);
}

}  // namespace veltrano::asio
