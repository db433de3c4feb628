#pragma once
// The kernel-streaming streaming engine: pin formats and packet buffers at
// createBuffers, the time-critical streaming thread with its 52-handle wait,
// the watchdog, the copies between host halves and device packets with the
// DSD-over-PCM scan.

#include "asio/core/asio_backend.h"
#include "asio/core/driver_state.h"
#include "asio/ks/pin_stream.h"
#include "common/win_owners.h"

namespace veltrano::asio::ks {

class KsEngine {
public:
    KsEngine() = default;
    ~KsEngine() { Destroy(); }
    KsEngine(const KsEngine&) = delete;
    KsEngine& operator=(const KsEngine&) = delete;

    // init: the engine's events and timer (once per object).
    HRESULT Create();
    ASIOError AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                               ASIOBufferInfo* infos, long count, long bufferSize);
    void ReleaseChannels(DriverState& driver, Direction direction, RateSlot& slot);
    // `backend` performs outputReady on the time-info path.
    ASIOError StartThreads(DriverState& driver, AsioBackend& backend);
    void StopThreads(DriverState& driver);
    ASIOError Start(DriverState& driver, bool transition);
    ASIOError Stop(DriverState& driver, bool transition);
    ASIOError OutputReady(DriverState& driver);
    // The output copy for packet `packet` from host half `half`, with the
    // DSD-over-PCM notice; on the streaming thread.
    void CopyOutputHalf(DriverState& driver, RateSlot& slot, int packet, int half);
    // Destruction: close every handle.
    void Destroy();

private:
    class StreamingThread;
    static DWORD WINAPI StreamingMain(void* engine);
    static DWORD WINAPI WatchdogMain(void* engine);
    void RunWatchdog();
    // Waits a bounded time for the streaming thread's state change; false
    // when the thread has ended instead or did not answer in time.
    bool AwaitStateChange();
    // A streaming thread that was told to quit but had not ended (it was
    // the caller itself, inside a host callback, or it was held up): waits
    // a bounded time for it, then releases what it left. False when it is
    // still running.
    bool SettleRetiredThread(DWORD timeoutMs);
    // Releases the slots whose release waited for the streaming thread.
    void ReleaseDeferred();
    // Transitions made on the streaming thread itself, from a host callback.
    bool StartInPlace();
    void StopInPlace();
    void RetireInPlace();
    // The device command of the first DSD-over-PCM detection is sent by the
    // watchdog thread: opening the HID interface blocks, which the streaming
    // thread must never do. stop waits for it, so the device never sees the
    // off command before the on command.
    void RequestDopCommand();
    void FlushDopCommand();

    // Streaming-thread events, in the order of its wait list.
    UniqueHandle m_quit;
    UniqueHandle m_start;
    UniqueHandle m_stop;
    UniqueHandle m_resetRequest;
    UniqueHandle m_watchdogQuit;
    UniqueHandle m_timer;
    UniqueHandle m_stateChange;
    UniqueHandle m_dopCommand;
    UniqueHandle m_dopCommandSent;
    UniqueHandle m_streamThread;
    UniqueHandle m_watchdogThread;
    UniqueHandle m_retiredThread;
    // The live thread's own object (on its stack), for transitions made on
    // that thread from inside a host callback.
    StreamingThread* volatile m_thread = nullptr;
    // Slots disposeBuffers released while the streaming thread still ran;
    // whoever takes one first (the thread as it ends, or the next buffer
    // set) frees it.
    RateSlot* volatile m_deferred[kDirectionCount] = {nullptr, nullptr};
    volatile long m_startFailed = 0;  // the last start's pin states failed
    volatile long m_dopRequested = 0;
    volatile long m_dopSent = 0;
    DriverState* m_driver = nullptr;
    AsioBackend* m_backend = nullptr;
};

}  // namespace veltrano::asio::ks
