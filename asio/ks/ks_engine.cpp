#include "asio/ks/ks_engine.h"

#include "asio/core/device_commands.h"
#include "asio/ks/packet_copy.h"
#include "asio/ks/pin_buffers.h"
#include "common/rate_table.h"

namespace veltrano::asio::ks {
namespace {

constexpr DWORD kCommandFlushMs = 5000;

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

void EndThread(UniqueHandle& thread, HANDLE quit) {
    if (!thread) return;
    SetEvent(quit);
    WaitForSingleObject(thread.Get(), INFINITE);
    thread.Reset();
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
    return AllocateSlot(slot, direction == Direction::kInput, infos, count, bufferSize, format);
}

void KsEngine::ReleaseChannels(DriverState&, Direction, RateSlot& slot) { ReleaseSlot(slot); }

ASIOError KsEngine::StartThreads(DriverState& driver, AsioBackend& backend) {
    if (!m_quit || m_streamThread || m_watchdogThread) return ASE_NoMemory;
    m_driver = &driver;
    m_backend = &backend;
    InterlockedExchange(&m_dopRequested, 0);
    InterlockedExchange(&m_dopSent, 0);
    // Signals left from an earlier buffer set must not reach the new threads.
    for (HANDLE h :
         {m_quit.Get(), m_start.Get(), m_stop.Get(), m_resetRequest.Get(), m_watchdogQuit.Get(),
          m_stateChange.Get(), m_dopCommand.Get(), m_dopCommandSent.Get()}) {
        ResetEvent(h);
    }
    // A timer that expired after the last watchdog had stopped waiting is
    // still signalled; the new watchdog must not take it for a stall.
    CancelWaitableTimer(m_timer.Get());
    WaitForSingleObject(m_timer.Get(), 0);
    m_streamThread.Reset(StartSuspended(&KsEngine::StreamingMain, this));
    m_watchdogThread.Reset(StartSuspended(&KsEngine::WatchdogMain, this));
    if (!m_streamThread || !m_watchdogThread) {
        // A suspended thread that never ran is ended through its quit event.
        if (m_streamThread) ResumeThread(m_streamThread.Get());
        if (m_watchdogThread) ResumeThread(m_watchdogThread.Get());
        StopThreads(driver);
        return ASE_NoMemory;
    }
    ResumeThread(m_streamThread.Get());
    ResumeThread(m_watchdogThread.Get());
    return ASE_OK;
}

void KsEngine::StopThreads(DriverState&) {
    EndThread(m_watchdogThread, m_watchdogQuit.Get());
    EndThread(m_streamThread, m_quit.Get());
}

bool KsEngine::AwaitStateChange() {
    const HANDLE handles[] = {m_stateChange.Get(), m_streamThread.Get()};
    if (handles[1] == nullptr) return false;
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0;
}

ASIOError KsEngine::Start(DriverState&, bool transition) {
    if (!transition) return ASE_OK;
    SetEvent(m_start.Get());
    return AwaitStateChange() ? ASE_OK : ASE_HWMalfunction;
}

ASIOError KsEngine::Stop(DriverState&, bool transition) {
    if (transition) {
        SetEvent(m_stop.Get());
        AwaitStateChange();
    }
    FlushDopCommand();
    return ASE_OK;
}

ASIOError KsEngine::OutputReady(DriverState& driver) {
    RateSlot* slot = driver.InUseSlot(Direction::kOutput);
    if (slot == nullptr || driver.bufferSize <= 0 || slot->readyStreamMask == 0) return ASE_OK;
    const int64_t n = driver.samplePosition / driver.bufferSize;
    const int packet = static_cast<int>((driver.queueDepth + n) & (kPacketsPerPin - 1));
    if (CopyOutput(driver, *slot, packet, static_cast<int>(n & 1))) RequestDopCommand();
    return ASE_OK;
}

void KsEngine::RequestDopCommand() {
    InterlockedIncrement(&m_dopRequested);
    SetEvent(m_dopCommand.Get());
}

void KsEngine::FlushDopCommand() {
    if (!m_watchdogThread) return;
    const DWORD begin = GetTickCount();
    while (m_dopSent != m_dopRequested) {
        const DWORD spent = GetTickCount() - begin;
        if (spent >= kCommandFlushMs) break;
        const HANDLE handles[] = {m_dopCommandSent.Get(), m_watchdogThread.Get()};
        if (WaitForMultipleObjects(2, handles, FALSE, kCommandFlushMs - spent) != WAIT_OBJECT_0) {
            break;
        }
    }
}

DWORD WINAPI KsEngine::WatchdogMain(void* engine) {
    static_cast<KsEngine*>(engine)->RunWatchdog();
    return 0;
}

// Fires at most once per buffer set: after its reset request the host is
// expected to dispose the buffers, which ends this thread.
void KsEngine::RunWatchdog() {
    const HANDLE handles[] = {m_dopCommand.Get(), m_watchdogQuit.Get(), m_timer.Get()};
    DWORD count = 3;
    for (;;) {
        const DWORD w = WaitForMultipleObjects(count, handles, FALSE, INFINITE);
        if (w == WAIT_OBJECT_0) {
            while (m_dopSent != m_dopRequested) {
                const DeviceIdentity& id = m_driver->device;
                SendDeviceCommand(id.usbVendorId, id.usbProductId, DeviceCommand::kDop, true);
                InterlockedIncrement(&m_dopSent);
            }
            SetEvent(m_dopCommandSent.Get());
            continue;
        }
        if (w == WAIT_OBJECT_0 + 2) {
            SetEvent(m_resetRequest.Get());
            CancelWaitableTimer(m_timer.Get());
            count = 2;
            continue;
        }
        CancelWaitableTimer(m_timer.Get());
        return;
    }
}

}  // namespace veltrano::asio::ks
