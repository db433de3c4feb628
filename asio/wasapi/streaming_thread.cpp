// mmsystem.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstring>

#include "asio/core/buffer_switch.h"
#include "asio/core/device_commands.h"
#include "asio/core/kernels/dop_detector.h"
#include "asio/core/kernels/sample_copy.h"
#include "asio/core/status_block.h"
#include "asio/wasapi/wasapi_backend.h"

#include "asio/core/buffer_switch.h"

namespace veltrano::asio {
namespace {

constexpr int64_t kWatchdogDue = -20000000;  // 2 s, relative, 100-ns units
constexpr uint8_t kDsdSilence = 0x69;

int64_t NowNanoseconds() { return static_cast<int64_t>(timeGetTime()) * 1000000; }

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
    LARGE_INTEGER due;
    due.QuadPart = kWatchdogDue;
    SetWaitableTimer(m_watchdogTimer.get(), &due, 0, nullptr, nullptr, FALSE);
}

void WasapiBackend::StartStreams() {
    std::memset(m_streamMask, 0, sizeof(m_streamMask));
    std::memset(m_directionMask, 0, sizeof(m_directionMask));
    ResetTransport(*m_driver, NowNanoseconds());
    const bool dsd = m_nativeDsd;
    // One period queued before the start, so the first event asks for the
    // second: silence for the device while the host fills its first half.
    if (RateSlot* out = m_driver->InUseSlot(Direction::kOutput)) {
        for (uint32_t s = 0; s < out->streamCount; ++s) {
            EndpointStream* stream = StreamAt(out, s);
            if (stream == nullptr || !stream->ready) continue;
            BYTE* data = nullptr;
            if (FAILED(stream->renderClient->GetBuffer(m_period, &data)) || data == nullptr) {
                continue;
            }
            const size_t bytes =
                static_cast<size_t>(m_period) * stream->activeChannels * m_outputBytes;
            std::memset(data, dsd ? kDsdSilence : 0, bytes);
            stream->renderClient->ReleaseBuffer(m_period, 0);
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
    std::memset(m_streamMask, 0, sizeof(m_streamMask));
    std::memset(m_directionMask, 0, sizeof(m_directionMask));
    m_running = false;
    StatusBlock& block = *m_driver->block;
    const GUID& id = m_driver->classId;

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
                    StartStreams();
                    SetEvent(m_acknowledge.get());
                    m_running = true;
                }
                CancelWaitableTimer(m_watchdogTimer.get());
                ArmWatchdog();
                break;
            case kStop:
                if (m_running) StopStreams();
                CancelWaitableTimer(m_watchdogTimer.get());
                SetEvent(m_acknowledge.get());
                m_running = false;
                break;
            case kResetCheck:
                ArmWatchdog();
                if (m_driver->rateChanged != 0) {
                    if (auto* notify = m_driver->callbacks.sampleRateDidChange) {
                        notify(m_driver->HostRate());
                    }
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
        if (block.TakeResetRequest(id)) {
            if (auto* message = m_driver->callbacks.asioMessage) {
                message(kAsioResetRequest, 0, nullptr, nullptr);
            }
        }
        if (leave) break;
    }
    if (m_running) StopStreams();
    m_running = false;
}

void WasapiBackend::ServeStream(Direction direction, uint32_t stream) {
    RateSlot* slot = m_driver->InUseSlot(direction);
    if (slot == nullptr || m_period == 0) return;
    const int d = static_cast<int>(direction);
    const int half = static_cast<int>((m_driver->samplePosition / m_period + 1) % 2);
    const bool serving = m_running || m_stopped == 0;
    m_streamMask[d][half] |= 1u << stream;
    if (serving) {
        if (direction == Direction::kOutput) {
            WriteOutput(*slot, stream, half);
        } else if (m_driver->switchCount >= m_driver->queueDepth) {
            ReadInput(*slot, stream, half);
        }
    }
    if ((m_streamMask[d][half] & slot->readyStreamMask) != slot->readyStreamMask) return;
    if (serving) {
        m_directionMask[half] |= 1u << d;
        if ((m_directionMask[half] & m_activeDirections) == m_activeDirections) {
            m_driver->samplePosition += m_period;
            m_driver->systemTime = NowNanoseconds();
            Dispatch(half);
            m_directionMask[half] = 0;
        }
    }
    m_streamMask[d][half] = 0;
}

void WasapiBackend::WriteOutput(RateSlot& slot, uint32_t s, int half) {
    EndpointStream* stream = StreamAt(&slot, s);
    if (stream == nullptr || !stream->ready) return;
    BYTE* data = nullptr;
    if (FAILED(stream->renderClient->GetBuffer(m_period, &data)) || data == nullptr) return;
    const size_t sampleBytes = m_outputBytes;
    const size_t stride = sampleBytes * stream->activeChannels;
    const bool nativeDsd = m_driver->block->Read(&AsioStatusBlock::nativeDsd) != 0;
    const bool scan = kernels::DopScanApplies(sampleBytes, m_driver->pcmRate, nativeDsd);
    for (uint32_t r = 0; r < slot.channelCount; ++r) {
        const ChannelRoute& route = slot.routes[r];
        if (route.stream != stream || route.buffers[half] == nullptr) continue;
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
    stream->renderClient->ReleaseBuffer(m_period, 0);
}

void WasapiBackend::ScanForDop(const uint8_t* samples, size_t frames, size_t sampleBytes) {
    const bool match = kernels::ScanDopMarkers(samples, frames, sampleBytes);
    if (match && InterlockedExchange(&m_driver->dopDetected, 1) == 0) {
        InterlockedExchange(&m_dopSendPending, 1);
        SetEvent(m_dopCommand.get());
    }
    m_driver->block->PublishDop(m_driver->classId, match);
}

void WasapiBackend::ReadInput(RateSlot& slot, uint32_t s, int half) {
    EndpointStream* stream = StreamAt(&slot, s);
    if (stream == nullptr || !stream->ready) return;
    BYTE* data = nullptr;
    UINT32 frames = 0;
    DWORD flags = 0;
    if (FAILED(stream->captureClient->GetBuffer(&data, &frames, &flags, nullptr, nullptr))) return;
    const size_t deviceBytes = m_inputBytes;
    const bool widen = m_widenInput;
    const size_t stride = deviceBytes * stream->activeChannels;
    const size_t count = frames < m_period ? frames : m_period;
    for (uint32_t r = 0; data != nullptr && r < slot.channelCount; ++r) {
        const ChannelRoute& route = slot.routes[r];
        if (route.stream != stream || route.buffers[half] == nullptr) continue;
        const uint8_t* src = data + route.channelInStream * deviceBytes;
        auto* dst = static_cast<uint8_t*>(route.buffers[half]);
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
    stream->captureClient->ReleaseBuffer(frames);
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
