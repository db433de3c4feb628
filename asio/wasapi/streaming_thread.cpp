// The streaming thread's control: its wait, start and stop of the
// endpoint streams, the watchdog, and the host's reset and resync messages.
// mmsystem.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstring>

#include "asio/core/buffer_switch.h"
#include "asio/core/device_commands.h"
#include "asio/core/pro_audio_class.h"
#include "asio/wasapi/streaming_common.h"
#include "asio/wasapi/wasapi_backend.h"
#include "common/contract/status_block.h"

namespace veltrano::asio {
namespace {

constexpr int64_t kWatchdogDue = -20000000;  // 2 s, relative, 100-ns units

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
            ResetEvent(streams[s].event.get());
            handles[first + static_cast<int>(s)] = streams[s].event.get();
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
    std::memset(m_outputLossSeen, 0, sizeof(m_outputLossSeen));
    std::memset(m_inputOwed, 0, sizeof(m_inputOwed));
    std::memset(m_debtTold, 0, sizeof(m_debtTold));
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
    const uint32_t both = (1u << static_cast<int>(Direction::kOutput)) |
                          (1u << static_cast<int>(Direction::kInput));
    m_outputLead = m_activeDirections == both ? 2 : 1;
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

// Time was lost: the host hears of it once, however many streams and
// periods noticed it, and once for a burst of losses a few switches apart
// (one stall of the machine shows on the output, then on the input's next
// packets): a host resyncs its timeline per request. Not while a stop is
// on its way: the switches are held back then, so the output's periods
// find none, and a host that is stopping has no position left to mend.
void WasapiBackend::TellResync() {
    if (!m_resyncDue) return;
    m_resyncDue = false;
    if (m_stopped != 0) return;
    if (m_resyncToldAt >= 0 && m_driver->switchCount < m_resyncToldAt + kResyncBurstSwitches) {
        return;
    }
    m_resyncToldAt = m_driver->switchCount;
    RequestResync();
}

void WasapiBackend::RequestResync() {
    if (auto* message = m_driver->callbacks.asioMessage) {
        message(kAsioResyncRequest, 0, nullptr, nullptr);
    }
}

}  // namespace veltrano::asio
