// The streaming thread: runs the packet ring of the in-use slots, delivers
// every buffer switch and answers the host's start and stop.

// clang-format off
#include "platform/win32_headers.h"
#include <mmsystem.h>
// clang-format on

#include <cstring>

#include "asio/core/buffer_switch.h"
#include "asio/core/pro_audio_class.h"
#include "asio/ks/ks_engine.h"
#include "asio/ks/packet_copy.h"
#include "common/contract/status_block.h"
#include "common/rate_table.h"
#include "kslib/ks_aud_pin.h"
#include "platform/ks_device.h"

namespace veltrano::asio::ks {
namespace {

constexpr int kControlHandles = 4;  // quit, start, stop, reset request
constexpr DWORD kMaxHandles = kControlHandles + 2 * kPinsPerSlot * kPacketsPerPin;
constexpr int kRunning = 3;
constexpr uint8_t kDsdSilence = 0x69;
// Two seconds without a completion while running means the device is gone.
constexpr LONGLONG kWatchdogDue = -20000000;

static_assert(kMaxHandles <= MAXIMUM_WAIT_OBJECTS);

struct WaitTarget {
    int direction;  // Direction as int
    int pin;
    int packet;
};

}  // namespace

class KsEngine::StreamingThread {
public:
    StreamingThread(KsEngine& engine, DriverState& driver) : m_engine(engine), m_driver(driver) {
        m_slots[kOut] = driver.InUseSlot(Direction::kOutput);
        m_slots[kIn] = driver.InUseSlot(Direction::kInput);
    }

    void Run() {
        BuildWaitList();
        for (;;) {
            const DWORD w = WaitForMultipleObjects(m_count, m_handles, FALSE, INFINITE);
            if (w >= WAIT_OBJECT_0 + m_count) break;  // failure or timeout
            const DWORD index = w - WAIT_OBJECT_0;
            bool quit = false;
            switch (index) {
                case 0:
                    CancelWaitableTimer(m_engine.m_timer.get());
                    quit = true;
                    break;
                case 1:
                    if (m_f == 0 && !StartInPlace()) InterlockedExchange(&m_engine.m_startFailed, 1);
                    // A start that changes nothing still answers, so start
                    // never waits for ever.
                    SetEvent(m_engine.m_stateChange.get());
                    if (m_f == kRunning) ArmWatchdog();
                    break;
                case 2:
                    SleepEx(30, FALSE);
                    StopInPlace();
                    SetEvent(m_engine.m_stateChange.get());
                    break;
                case 3:
                    OnWatchdog();
                    break;
                default:
                    OnPacket(m_targets[index]);
                    break;
            }
            if (m_retired) break;
            if (m_driver.block != nullptr && m_driver.block->TakeResetRequest(m_driver.classId)) {
                SendResetRequest();
            }
            if (quit || m_retired) break;
        }
        Unwind(m_f);
        m_f = 0;
    }

    // Transport transitions, on this thread: from its own wait, or from a
    // host callback it is running (stop or start inside bufferSwitch).
    bool StartInPlace() {
        ++m_generation;
        if (m_f != 0) return true;
        m_f = StartStreaming();
        return m_f == kRunning;
    }
    void StopInPlace() {
        ++m_generation;
        Unwind(m_f);
        m_f = 0;
        CancelWaitableTimer(m_engine.m_timer.get());
    }
    // disposeBuffers from a host callback: stop, and end once the callback
    // has returned, touching nothing of the buffer set on the way out.
    void Retire() {
        StopInPlace();
        m_retired = true;
    }

private:
    static constexpr int kOut = static_cast<int>(Direction::kOutput);
    static constexpr int kIn = static_cast<int>(Direction::kInput);

    PinStream* Pin(int direction, uint32_t j) const {
        return static_cast<PinStream*>(m_slots[direction]->streams[j]);
    }
    uint32_t ReadyMask(int direction) const {
        return m_slots[direction] != nullptr ? m_slots[direction]->readyStreamMask : 0;
    }
    template <typename Fn>
    void ForReadyPins(int direction, Fn fn) {
        const uint32_t mask = ReadyMask(direction);
        for (uint32_t j = 0; j < kPinsPerSlot; ++j) {
            if ((mask & (1u << j)) != 0) fn(*Pin(direction, j));
        }
    }
    // Every ready pin (input first) to `state`; false when any refused.
    bool SetStates(KSSTATE state) {
        bool ok = true;
        for (int direction : {kIn, kOut}) {
            ForReadyPins(direction, [&](PinStream& pin) {
                if (FAILED(pin.pin->SetState(state))) ok = false;
            });
        }
        return ok;
    }
    bool IsDsd() const { return IsDsdRate(static_cast<double>(m_driver.asioRate)); }

    void BuildWaitList() {
        const HANDLE control[kControlHandles] = {m_engine.m_quit.get(), m_engine.m_start.get(),
                                                 m_engine.m_stop.get(),
                                                 m_engine.m_resetRequest.get()};
        m_count = 0;
        for (HANDLE h : control) m_handles[m_count++] = h;
        m_present = 0;
        for (int direction : {kOut, kIn}) {
            const uint32_t mask = ReadyMask(direction);
            if (mask != 0) m_present |= 1u << direction;
            for (uint32_t j = 0; j < kPinsPerSlot; ++j) {
                if ((mask & (1u << j)) == 0) continue;
                for (int k = 0; k < kPacketsPerPin; ++k) {
                    const HANDLE event = Pin(direction, j)->packets[k].overlapped.hEvent;
                    ResetEvent(event);
                    m_targets[m_count] = {direction, static_cast<int>(j), k};
                    m_handles[m_count++] = event;
                }
            }
        }
    }

    void ArmWatchdog() {
        LARGE_INTEGER due;
        due.QuadPart = kWatchdogDue;
        SetWaitableTimer(m_engine.m_timer.get(), &due, 0, nullptr, nullptr, FALSE);
    }

    // False when the pin refused the request.
    bool Queue(int direction, PinStream& pin, int k) {
        StreamPacket& packet = pin.packets[k];
        if (direction == kIn) {
            packet.header.DataUsed = 0;
            return SUCCEEDED(pin.pin->ReadData(&packet.header, &packet.overlapped));
        }
        return SUCCEEDED(pin.pin->WriteData(&packet.header, &packet.overlapped));
    }
    void QueueAll(int direction, int k) {
        ForReadyPins(direction, [&](PinStream& pin) {
            if (!Queue(direction, pin, k)) m_streamFailed = true;
        });
    }

    // The host's input halves: silent until the first real input arrives,
    // after every start and not only the first.
    void SilenceInput() {
        RateSlot* slot = m_slots[kIn];
        if (slot == nullptr) return;
        const size_t sampleBytes = static_cast<size_t>(DeviceSampleBits(m_driver) / 8);
        for (uint32_t r = 0; r < slot->channelCount && r < kMaxChannelsPerSlot; ++r) {
            ChannelRoute& route = slot->routes[r];
            for (void* buffer : route.buffers) {
                if (buffer != nullptr) memset(buffer, 0, route.framesPerHalf * sampleBytes);
            }
        }
    }

    int StartStreaming() {
        for (auto& half : m_done) half[0] = half[1] = 0;
        m_directionsDone[0] = m_directionsDone[1] = 0;
        m_nextHalf = 0;
        m_streamFailed = false;
        m_failureReported = false;
        // The stop transition cancelled the transfers in flight, and their
        // completions may still be signalled: they belong to the last run.
        for (int direction : {kIn, kOut}) {
            ForReadyPins(direction, [](PinStream& pin) {
                for (StreamPacket& packet : pin.packets) ResetEvent(packet.overlapped.hEvent);
            });
        }
        SilenceInput();
        if (!SetStates(KSSTATE_ACQUIRE)) return Fail(1);
        if (!SetStates(KSSTATE_PAUSE)) return Fail(2);
        ResetTransport(m_driver, static_cast<int64_t>(timeGetTime()) * 1000000);
        const uint8_t silence = IsDsd() ? kDsdSilence : 0;
        for (int k = 0; k < m_driver.queueDepth && k < kPacketsPerPin; ++k) {
            ForReadyPins(kOut, [&](PinStream& pin) {
                KSSTREAM_HEADER& h = pin.packets[k].header;
                if (h.Data != nullptr) memset(h.Data, silence, h.FrameExtent);
            });
            QueueAll(kIn, k);
            QueueAll(kOut, k);
        }
        if (m_streamFailed) return Fail(2);
        Sleep(10);
        if (!SetStates(KSSTATE_RUN)) return Fail(3);
        return kRunning;
    }
    // A start that could not bring every pin up leaves them all stopped.
    int Fail(int reached) {
        Unwind(reached);
        return 0;
    }

    void Unwind(int f) {
        if (f >= 3) SetStates(KSSTATE_PAUSE);
        if (f >= 2) SetStates(KSSTATE_ACQUIRE);
        if (f >= 1) SetStates(KSSTATE_STOP);
    }

    void SendResetRequest() {
        auto* message = m_driver.callbacks.asioMessage;
        if (message != nullptr) message(kAsioResetRequest, 0, nullptr, nullptr);
    }

    void OnResetRequest() {
        ArmWatchdog();
        if (InterlockedExchange(&m_driver.rateChanged, 0) != 0 &&
            m_driver.callbacks.sampleRateDidChange != nullptr) {
            m_driver.callbacks.sampleRateDidChange(m_driver.HostRate());
        }
        SendResetRequest();
    }

    // The watchdog saw no completion taken for two seconds. When one is
    // waiting all the same, it was this thread that fell behind (a host
    // holding its callback, a starved machine), not the device: take it and
    // go on, the watchdog armed again. Only a device that really went quiet
    // gets the reset request, once per buffer set.
    void OnWatchdog() {
        if (m_f == kRunning && TakeWaitingCompletion()) {
            if (m_f == kRunning && !m_retired) ArmWatchdog();
            return;
        }
        if (m_watchdogFired) return;
        m_watchdogFired = true;
        OnResetRequest();
    }
    bool TakeWaitingCompletion() {
        const DWORD packets = m_count - kControlHandles;
        if (packets == 0) return false;
        const DWORD w = WaitForMultipleObjects(packets, m_handles + kControlHandles, FALSE, 0);
        if (w >= WAIT_OBJECT_0 + packets) return false;
        OnPacket(m_targets[kControlHandles + (w - WAIT_OBJECT_0)]);
        return true;
    }

    // A transfer that failed while running (device removed, say), or one
    // that could not be queued: the stream cannot go on without passing
    // stale data as new. No more switches; the host hears of it once.
    void OnStreamFailure() {
        if (m_failureReported) return;
        m_failureReported = true;
        CancelWaitableTimer(m_engine.m_timer.get());
        const uint32_t generation = m_generation;
        OnResetRequest();
        // The host may have stopped or disposed from inside the message.
        if (generation == m_generation && !m_retired) CancelWaitableTimer(m_engine.m_timer.get());
    }

    void OnPacket(const WaitTarget& target) {
        const int direction = target.direction;
        const int h = target.packet & 1;
        PinStream& pin = *Pin(direction, static_cast<uint32_t>(target.pin));
        StreamPacket& packet = pin.packets[target.packet];
        DWORD bytes = 0;
        const bool ok =
            platform::GetOverlappedResult(pin.pin->GetHandle(), &packet.overlapped, &bytes, FALSE);
        // Completions while stopped are the transfers the stop transition
        // cancelled (or left over from the last run): expected, and quiet.
        if (m_f != kRunning) return;
        if (!ok) {
            if (GetLastError() == ERROR_IO_INCOMPLETE) return;  // not ours to judge yet
            m_streamFailed = true;
        }
        if (m_streamFailed) {
            OnStreamFailure();
            return;
        }
        ArmWatchdog();
        uint32_t& done = m_done[h][direction];
        done |= 1u << target.pin;
        const uint32_t ready = ReadyMask(direction);
        if ((done & ready) != ready) return;
        done = 0;  // from here the direction's bit stands for its pins
        m_directionsDone[h] |= 1u << direction;
        // A thread that falls a packet behind finds both halves complete at
        // once, and the wait reports the lowest index first, which after the
        // ring wraps is the newer packet: the halves are switched in their
        // own order, whatever order their completions are seen in.
        while (m_f == kRunning && !m_streamFailed && m_present != 0 &&
               (m_directionsDone[m_nextHalf] & m_present) == m_present) {
            const int half = m_nextHalf;
            m_directionsDone[half] = 0;
            m_nextHalf ^= 1;
            if (!SwitchStep(half)) return;
        }
        if (m_streamFailed) OnStreamFailure();
    }

    // False when the host changed the transport from inside its callback.
    bool SwitchStep(int h) {
        DriverState& d = m_driver;
        if (d.switchCount > 0) {
            d.samplePosition += d.bufferSize;
            d.systemTime = static_cast<int64_t>(timeGetTime()) * 1000000;
        }
        const int64_t n = d.bufferSize > 0 ? d.samplePosition / d.bufferSize : 0;
        // The capture pins may run a packet ahead of the render pins, so the
        // input is taken here, when both directions have finished packet n,
        // and not when the capture side happens to complete.
        if (m_slots[kIn] != nullptr && ReadyMask(kIn) != 0 && d.switchCount >= d.queueDepth) {
            CopyInput(*m_slots[kIn], static_cast<int>(n & (kPacketsPerPin - 1)), h,
                      DeviceSampleBits(d));
        }
        const int k = static_cast<int>((n + d.queueDepth) & (kPacketsPerPin - 1));
        QueueAll(kIn, k);
        const uint32_t generation = m_generation;
        DeliverBufferSwitch(d, h);
        if (generation != m_generation || m_retired || m_f != kRunning) return false;
        // The host's half is complete when its callback returns: copied now,
        // before the packet goes out, for hosts that call outputReady and
        // those that never do alike.
        if (m_slots[kOut] != nullptr && ReadyMask(kOut) != 0) {
            m_engine.CopyOutputHalf(d, *m_slots[kOut], k, static_cast<int>(n & 1));
        }
        const bool dsd = IsDsd();
        ForReadyPins(kOut, [&](PinStream& pin) {
            KSSTREAM_HEADER& header = pin.packets[k].header;
            // A host that has not written its first halves yet would make
            // the device play PCM zeros, which it takes for a DSD click.
            if (d.switchCount < 3 && dsd && header.Data != nullptr && header.FrameExtent >= 8) {
                uint8_t head[8];
                memcpy(head, header.Data, sizeof head);
                static constexpr uint8_t kZero[8] = {};
                if (memcmp(head, kZero, sizeof head) == 0) {
                    memset(header.Data, kDsdSilence, header.FrameExtent);
                }
            }
        });
        QueueAll(kOut, k);
        return true;
    }

    KsEngine& m_engine;
    DriverState& m_driver;
    RateSlot* m_slots[kDirectionCount];
    HANDLE m_handles[kMaxHandles] = {};
    WaitTarget m_targets[kMaxHandles] = {};
    DWORD m_count = 0;
    uint32_t m_present = 0;
    uint32_t m_done[2][kDirectionCount] = {};  // per half, per direction: completed pins
    uint32_t m_directionsDone[2] = {};
    int m_nextHalf = 0;  // the half of the next buffer switch
    int m_f = 0;         // 0 stopped, kRunning running
    // Counts transitions, so a switch knows the host changed the transport
    // from inside its callback.
    uint32_t m_generation = 0;
    bool m_retired = false;
    bool m_watchdogFired = false;  // the host was asked for its one reset
    bool m_streamFailed = false;
    bool m_failureReported = false;
};

bool KsEngine::StartInPlace() { return m_thread != nullptr && m_thread->StartInPlace(); }
void KsEngine::StopInPlace() {
    if (m_thread != nullptr) m_thread->StopInPlace();
}
void KsEngine::RetireInPlace() {
    if (m_thread != nullptr) m_thread->Retire();
}

DWORD WINAPI KsEngine::StreamingMain(void* engine) {
    auto* self = static_cast<KsEngine*>(engine);
    const ProAudioClass proAudio;
    const DWORD id = GetCurrentThreadId();
    {
        StreamingThread thread(*self, *self->m_driver);
        self->m_thread = &thread;
        InterlockedExchange(reinterpret_cast<volatile LONG*>(&self->m_driver->streamingThreadId),
                            static_cast<LONG>(id));
        thread.Run();
        // A buffer set started from inside this thread's last callback has
        // a thread of its own by now: leave its records alone.
        InterlockedCompareExchange(
            reinterpret_cast<volatile LONG*>(&self->m_driver->streamingThreadId), 0,
            static_cast<LONG>(id));
        InterlockedCompareExchangePointer(reinterpret_cast<void* volatile*>(&self->m_thread),
                                          nullptr, &thread);
    }
    // disposeBuffers ran while this thread was still inside the host's
    // callback; its packets and buffers are freed now that it is done.
    self->ReleaseDeferred();
    return 0;
}

}  // namespace veltrano::asio::ks
