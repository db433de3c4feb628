#include "asio/ks/ks_engine.h"

#include "asio/core/device_commands.h"
#include "asio/ks/packet_copy.h"
#include "asio/ks/pin_buffers.h"
#include "common/rate_table.h"

namespace veltrano::asio::ks {
namespace {

constexpr DWORD kCommandFlushMs = 5000;
// How long a host call waits for the streaming or watchdog thread. They
// answer within milliseconds unless a host callback holds them; then the
// call goes on without them rather than hanging the host.
constexpr DWORD kThreadWaitMs = 5000;

HANDLE AutoEvent() { return CreateEventA(nullptr, FALSE, FALSE, nullptr); }

HANDLE StartSuspended(LPTHREAD_START_ROUTINE main, void* argument) {
    HANDLE thread = CreateThread(nullptr, 0, main, argument, CREATE_SUSPENDED, nullptr);
    if (thread == nullptr) return nullptr;
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        SetThreadAffinityMask(thread, process);
    }
    SetThreadPriority(thread, THREAD_PRIORITY_TIME_CRITICAL);
    SetThreadPriorityBoost(thread, FALSE);
    return thread;
}

// True when the thread has ended (or there was none).
bool EndThread(UniqueHandle& thread, HANDLE quit, DWORD timeoutMs) {
    if (!thread) return true;
    SetEvent(quit);
    if (WaitForSingleObject(thread.get(), timeoutMs) != WAIT_OBJECT_0) return false;
    thread.Reset();
    return true;
}

}  // namespace

HRESULT KsEngine::Create() {
    UniqueHandle* events[] = {&m_quit,         &m_start,       &m_stop,       &m_resetRequest,
                              &m_watchdogQuit, &m_stateChange, &m_dopCommand, &m_dopCommandSent};
    for (UniqueHandle* event : events) {
        if (!*event) event->Reset(AutoEvent());
        if (!*event) return E_OUTOFMEMORY;
    }
    if (!m_timer) m_timer.Reset(CreateWaitableTimerA(nullptr, FALSE, nullptr));
    return m_timer ? S_OK : E_OUTOFMEMORY;
}

void KsEngine::Destroy() {
    SettleRetiredThread(kThreadWaitMs);
    m_streamThread.Reset();
    m_watchdogThread.Reset();
    for (UniqueHandle* h : {&m_quit, &m_start, &m_stop, &m_resetRequest, &m_watchdogQuit, &m_timer,
                            &m_stateChange, &m_dopCommand, &m_dopCommandSent}) {
        h->Reset();
    }
}

ASIOError KsEngine::AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                                     ASIOBufferInfo* infos, long count, long bufferSize) {
    BufferFormat format;
    format.bitsPerSample = DeviceSampleBits(driver);
    format.pcmRate = driver.pcmRate;
    format.dsd = IsDsdRate(static_cast<double>(driver.asioRate));
    if (!BufferSizeAcceptable(format, driver.asioRate, bufferSize)) return ASE_InvalidParameter;
    if (format.bitsPerSample != 16 && format.bitsPerSample != 24 && format.bitsPerSample != 32) {
        return ASE_InvalidParameter;
    }
    // The last buffer set's thread may still be finishing (disposed from
    // inside its own callback): its slots must be free before new use.
    if (driver.OnStreamingThread()) {
        ReleaseDeferred();  // the caller is that thread: it touches nothing more
    } else if (!SettleRetiredThread(kThreadWaitMs)) {
        return ASE_HWMalfunction;
    }
    return AllocateSlot(slot, direction == Direction::kInput, infos, count, bufferSize, format);
}

void KsEngine::ReleaseChannels(DriverState&, Direction direction, RateSlot& slot) {
    // While the streaming thread runs (disposeBuffers from its own callback,
    // or a thread held up past its bound) its packets and the host buffers
    // stay until it has ended.
    if (m_retiredThread && WaitForSingleObject(m_retiredThread.get(), 0) == WAIT_TIMEOUT) {
        InterlockedExchangePointer(
            reinterpret_cast<void* volatile*>(&m_deferred[static_cast<int>(direction)]), &slot);
        return;
    }
    ReleaseSlot(slot);
}

void KsEngine::ReleaseDeferred() {
    for (RateSlot* volatile& deferred : m_deferred) {
        auto* slot = static_cast<RateSlot*>(
            InterlockedExchangePointer(reinterpret_cast<void* volatile*>(&deferred), nullptr));
        if (slot != nullptr) ReleaseSlot(*slot);
    }
}

bool KsEngine::SettleRetiredThread(DWORD timeoutMs) {
    if (m_retiredThread) {
        if (WaitForSingleObject(m_retiredThread.get(), timeoutMs) != WAIT_OBJECT_0) return false;
        m_retiredThread.Reset();
    }
    ReleaseDeferred();
    return true;
}

ASIOError KsEngine::StartThreads(DriverState& driver, AsioBackend& backend) {
    if (!m_quit || m_streamThread || m_watchdogThread) return ASE_NoMemory;
    // A thread retired from inside its own callback may still be on its way
    // out; it shares the events with the new one.
    if (!driver.OnStreamingThread() && !SettleRetiredThread(kThreadWaitMs)) return ASE_NoMemory;
    m_driver = &driver;
    m_backend = &backend;
    InterlockedExchange(&m_dopRequested, 0);
    InterlockedExchange(&m_dopSent, 0);
    // Signals left from an earlier buffer set must not reach the new threads.
    for (HANDLE h :
         {m_quit.get(), m_start.get(), m_stop.get(), m_resetRequest.get(), m_watchdogQuit.get(),
          m_stateChange.get(), m_dopCommand.get(), m_dopCommandSent.get()}) {
        ResetEvent(h);
    }
    // A timer that expired after the last watchdog had stopped waiting is
    // still signalled; the new watchdog must not take it for a stall.
    CancelWaitableTimer(m_timer.get());
    WaitForSingleObject(m_timer.get(), 0);
    m_streamThread.Reset(StartSuspended(&KsEngine::StreamingMain, this));
    m_watchdogThread.Reset(StartSuspended(&KsEngine::WatchdogMain, this));
    if (!m_streamThread || !m_watchdogThread) {
        // A suspended thread that never ran is ended through its quit event.
        if (m_streamThread) ResumeThread(m_streamThread.get());
        if (m_watchdogThread) ResumeThread(m_watchdogThread.get());
        StopThreads(driver);
        return ASE_NoMemory;
    }
    ResumeThread(m_streamThread.get());
    ResumeThread(m_watchdogThread.get());
    return ASE_OK;
}

void KsEngine::StopThreads(DriverState& driver) {
    // The watchdog never calls the host, so it always ends.
    EndThread(m_watchdogThread, m_watchdogQuit.get(), kThreadWaitMs);
    if (!m_streamThread) return;
    if (driver.OnStreamingThread()) {
        // disposeBuffers from inside the host's callback: the thread winds
        // down in place and ends once the callback has returned.
        RetireInPlace();
        m_retiredThread = std::move(m_streamThread);
        return;
    }
    if (!EndThread(m_streamThread, m_quit.get(), kThreadWaitMs)) {
        // Held up in a host callback: it ends when that returns.
        m_retiredThread = std::move(m_streamThread);
    }
}

bool KsEngine::AwaitStateChange() {
    const HANDLE handles[] = {m_stateChange.get(), m_streamThread.get()};
    if (handles[1] == nullptr) return false;
    return WaitForMultipleObjects(2, handles, FALSE, kThreadWaitMs) == WAIT_OBJECT_0;
}

ASIOError KsEngine::Start(DriverState& driver, bool transition) {
    if (!transition) return ASE_OK;
    if (driver.OnStreamingThread()) {
        // start from inside a callback (after a stop there): in place.
        return StartInPlace() ? ASE_OK : ASE_HWMalfunction;
    }
    InterlockedExchange(&m_startFailed, 0);
    SetEvent(m_start.get());
    if (!AwaitStateChange()) {
        // No answer: make sure a late one does not leave the pins running.
        SetEvent(m_stop.get());
        return ASE_HWMalfunction;
    }
    return m_startFailed != 0 ? ASE_HWMalfunction : ASE_OK;
}

ASIOError KsEngine::Stop(DriverState& driver, bool transition) {
    if (transition) {
        if (driver.OnStreamingThread()) {
            StopInPlace();
        } else {
            SetEvent(m_stop.get());
            AwaitStateChange();
        }
    }
    FlushDopCommand();
    return ASE_OK;
}

// Every switch's output is copied by the streaming thread once the host's
// callback has returned and before its packet is queued, whether or not
// the host calls outputReady, and never into a packet the device holds.
ASIOError KsEngine::OutputReady(DriverState&) { return ASE_OK; }

void KsEngine::CopyOutputHalf(DriverState& driver, RateSlot& slot, int packet, int half) {
    if (CopyOutput(driver, slot, packet, half)) RequestDopCommand();
}

void KsEngine::RequestDopCommand() {
    InterlockedIncrement(&m_dopRequested);
    SetEvent(m_dopCommand.get());
}

void KsEngine::FlushDopCommand() {
    if (!m_watchdogThread) return;
    const DWORD begin = GetTickCount();
    while (m_dopSent != m_dopRequested) {
        const DWORD spent = GetTickCount() - begin;
        if (spent >= kCommandFlushMs) break;
        const HANDLE handles[] = {m_dopCommandSent.get(), m_watchdogThread.get()};
        if (WaitForMultipleObjects(2, handles, FALSE, kCommandFlushMs - spent) != WAIT_OBJECT_0) {
            break;
        }
    }
}

DWORD WINAPI KsEngine::WatchdogMain(void* engine) {
    static_cast<KsEngine*>(engine)->RunWatchdog();
    return 0;
}

// Tells the streaming thread each time the timer runs out; the thread asks
// the host for a reset at most once per buffer set, after which the host is
// expected to dispose the buffers, which ends this thread.
void KsEngine::RunWatchdog() {
    const HANDLE handles[] = {m_dopCommand.get(), m_watchdogQuit.get(), m_timer.get()};
    const DWORD count = 3;
    for (;;) {
        const DWORD w = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0) {
            while (m_dopSent != m_dopRequested) {
                const DeviceIdentity& id = m_driver->device;
                SendDeviceCommand(id.usbVendorId, id.usbProductId, DeviceCommand::kDop, true);
                InterlockedIncrement(&m_dopSent);
            }
            SetEvent(m_dopCommandSent.get());
            continue;
        }
        if (w == WAIT_OBJECT_0 + 2) {
            // The streaming thread judges whether the device went quiet or
            // only the thread fell behind, and asks the host at most once.
            SetEvent(m_resetRequest.get());
            continue;
        }
        CancelWaitableTimer(m_timer.get());
        return;
    }
}

}  // namespace veltrano::asio::ks
