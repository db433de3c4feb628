// The streaming thread: runs the packet ring of the in-use slots, delivers
// every buffer switch and answers the host's start and stop.

// clang-format off
#include "platform/win32_headers.h"
#include <mmsystem.h>
// clang-format on

#include <cstring>

#include "asio/core/buffer_switch.h"
#include "asio/core/status_block.h"
#include "asio/ks/ks_engine.h"
#include "asio/ks/packet_copy.h"
#include "common/rate_table.h"
#include "kslib/ks_aud_pin.h"

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
        int f = 0;
        for (;;) {
            const DWORD w = WaitForMultipleObjects(m_count, m_handles, FALSE, INFINITE);
            if (w >= WAIT_OBJECT_0 + m_count) break;  // failure or timeout
            const DWORD index = w - WAIT_OBJECT_0;
            bool quit = false;
            switch (index) {
                case 0:
                    CancelWaitableTimer(m_engine.m_timer.Get());
                    quit = true;
                    break;
                case 1:
                    if (f == 0) f = StartStreaming();
                    // A start that changes nothing still answers, so start
                    // never waits for ever.
                    SetEvent(m_engine.m_stateChange.Get());
                    ArmWatchdog();
                    break;
                case 2:
                    SleepEx(30, FALSE);
                    Unwind(f);
                    CancelWaitableTimer(m_engine.m_timer.Get());
                    SetEvent(m_engine.m_stateChange.Get());
                    f = 0;
                    break;
                case 3:
                    OnResetRequest();
                    break;
                default:
                    OnPacket(m_targets[index], f);
                    break;
            }
            if (m_driver.block != nullptr && m_driver.block->TakeResetRequest(m_driver.classId)) {
                SendResetRequest();
            }
            if (quit) break;
        }
        Unwind(f);
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
    void SetStates(KSSTATE state) {
        for (int direction : {kIn, kOut}) {
            ForReadyPins(direction, [&](PinStream& pin) { pin.pin->SetState(state); });
        }
    }
    bool IsDsd() const { return IsDsdRate(static_cast<double>(m_driver.asioRate)); }

    void BuildWaitList() {
        const HANDLE control[kControlHandles] = {m_engine.m_quit.Get(), m_engine.m_start.Get(),
                                                 m_engine.m_stop.Get(),
                                                 m_engine.m_resetRequest.Get()};
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
        SetWaitableTimer(m_engine.m_timer.Get(), &due, 0, nullptr, nullptr, FALSE);
    }

    void Queue(int direction, PinStream& pin, int k) {
        StreamPacket& packet = pin.packets[k];
        // A failed queue is not retried: that half then never completes and
        // the watchdog asks the host for a reset.
        if (direction == kIn) {
            packet.header.DataUsed = 0;
            pin.pin->ReadData(&packet.header, &packet.overlapped);
        } else {
            pin.pin->WriteData(&packet.header, &packet.overlapped);
        }
    }

    int StartStreaming() {
        for (auto& half : m_done) half[0] = half[1] = 0;
        m_directionsDone[0] = m_directionsDone[1] = 0;
        m_nextHalf = 0;
        // The stop transition cancelled the transfers in flight, and their
        // completions may still be signalled: they belong to the last run.
        for (int direction : {kIn, kOut}) {
            ForReadyPins(direction, [](PinStream& pin) {
                for (StreamPacket& packet : pin.packets) ResetEvent(packet.overlapped.hEvent);
            });
        }
        SetStates(KSSTATE_ACQUIRE);
        SetStates(KSSTATE_PAUSE);
        ResetTransport(m_driver, static_cast<int64_t>(timeGetTime()) * 1000000);
        const uint8_t silence = IsDsd() ? kDsdSilence : 0;
        for (int k = 0; k < m_driver.queueDepth && k < kPacketsPerPin; ++k) {
            ForReadyPins(kOut, [&](PinStream& pin) {
                KSSTREAM_HEADER& h = pin.packets[k].header;
                if (h.Data != nullptr) memset(h.Data, silence, h.FrameExtent);
            });
            ForReadyPins(kIn, [&](PinStream& pin) { Queue(kIn, pin, k); });
            ForReadyPins(kOut, [&](PinStream& pin) { Queue(kOut, pin, k); });
        }
        Sleep(10);
        SetStates(KSSTATE_RUN);
        return kRunning;
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

    void OnPacket(const WaitTarget& target, int f) {
        const int direction = target.direction;
        const int h = target.packet & 1;
        if (f == kRunning) ArmWatchdog();
        uint32_t& done = m_done[h][direction];
        done |= 1u << target.pin;
        const uint32_t ready = ReadyMask(direction);
        if ((done & ready) != ready) return;
        done = 0;  // from here the direction's bit stands for its pins
        if (f != kRunning) return;
        m_directionsDone[h] |= 1u << direction;
        // A thread that falls a packet behind finds both halves complete at
        // once, and the wait reports the lowest index first, which after the
        // ring wraps is the newer packet: the halves are switched in their
        // own order, whatever order their completions are seen in.
        while (m_present != 0 && (m_directionsDone[m_nextHalf] & m_present) == m_present) {
            SwitchStep(m_nextHalf);
            m_nextHalf ^= 1;
        }
    }

    void SwitchStep(int h) {
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
        ForReadyPins(kIn, [&](PinStream& pin) { Queue(kIn, pin, k); });
        DeliverBufferSwitch(d, h);
        if (d.hostTimeInfo) m_engine.m_backend->OutputReady(d);
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
            Queue(kOut, pin, k);
        });
        m_directionsDone[h] = 0;
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
};

DWORD WINAPI KsEngine::StreamingMain(void* engine) {
    auto* self = static_cast<KsEngine*>(engine);
    StreamingThread thread(*self, *self->m_driver);
    thread.Run();
    return 0;
}

}  // namespace veltrano::asio::ks
