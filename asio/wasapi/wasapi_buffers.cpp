#include "asio/wasapi/wasapi_backend.h"
#include "common/rate_table.h"

namespace veltrano::asio {
namespace {

bool NativeDsd(const DriverState& driver) {
    return IsDsdRate(static_cast<double>(driver.asioRate));
}

void FreeHalves(ChannelRoute& route) {
    for (void*& half : route.buffers) {
        if (half != nullptr) LocalFree(half);
        half = nullptr;
    }
}

}  // namespace

ASIOError WasapiBackend::AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                                          ASIOBufferInfo* infos, long count, long bufferSize) {
    const bool dsd = NativeDsd(driver);
    const bool input = direction == Direction::kInput;
    // Native DSD carries 32 one-bit samples in each 32-bit device sample.
    const long frames = dsd ? bufferSize / 32 : bufferSize;
    if (frames <= 0) return ASE_InvalidParameter;
    const int bits = dsd ? 32 : driver.bitsPerSample;
    const int container = ContainerBits(bits);
    m_nativeDsd = dsd;
    m_outputBytes = static_cast<size_t>(container / 8);
    m_inputBytes = static_cast<size_t>(bits / 8);
    m_widenInput = Packed(bits);
    const size_t halfBytes = dsd ? static_cast<size_t>(bufferSize) / 8
                                 : static_cast<size_t>(bufferSize) * (container / 8);
    m_halfBytes = halfBytes;
    m_hostFramesPerPeriod = static_cast<uint32_t>(bufferSize);
    // What sizes the endpoints run is learnt while they are still free.
    RuleFor(driver, slot.sampleRate, dsd);
    for (long i = 0; i < count; ++i) {
        ASIOBufferInfo& info = infos[i];
        if ((info.isInput != ASIOFalse) != input) continue;
        // The driver object refuses such channels before asking; a direct
        // caller gets the same answer instead of a write past the routes.
        if (info.channelNum < 0 || static_cast<uint32_t>(info.channelNum) >= slot.channelCount) {
            return ASE_InvalidParameter;
        }
        ChannelRoute& route = slot.routes[static_cast<size_t>(info.channelNum)];
        if (route.stream == nullptr) return ASE_InvalidParameter;
        for (int h = 0; h < 2; ++h) {
            if (route.buffers[h] == nullptr) route.buffers[h] = LocalAlloc(LPTR, halfBytes);
            if (route.buffers[h] == nullptr) return ASE_NoMemory;
            info.buffers[h] = route.buffers[h];
        }
        route.framesPerHalf = static_cast<uint32_t>(frames);
        route.enabled = true;
        route.stream->inUse = true;
        if (route.stream->activeChannels < route.channelInStream + 1) {
            route.stream->activeChannels = route.channelInStream + 1;
        }
    }
    m_period = static_cast<uint32_t>(frames);
    for (uint32_t j = 0; j < slot.streamCount; ++j) {
        auto* stream = static_cast<EndpointStream*>(slot.streams[j]);
        if (!stream->inUse || stream->activeChannels == 0) continue;
        stream->framesPerPeriod = static_cast<uint32_t>(frames);
        // Input never takes the 32-bit containers: the device records 24
        // bits packed and the input copy widens them.
        const int streamContainer = input ? bits : container;
        HRESULT hr = E_FAIL;
        for (uint32_t channels = stream->activeChannels; channels <= stream->maxChannels;
             ++channels) {
            hr = OpenStream(*stream, direction, slot.sampleRate, streamContainer, bits, channels);
            if (SUCCEEDED(hr)) {
                stream->activeChannels = channels;
                break;
            }
        }
        if (FAILED(hr)) return ASE_InvalidParameter;
        stream->ready = true;
        slot.readyStreamMask |= 1u << j;
    }
    return ASE_OK;
}

bool WasapiBackend::LeavingThreadRuns() const {
    return m_leavingThread && WaitForSingleObject(m_leavingThread.get(), 0) == WAIT_TIMEOUT;
}

bool WasapiBackend::SettleLeavingThread() {
    if (m_leavingThread) {
        if (WaitForSingleObject(m_leavingThread.get(), kThreadEndMs) != WAIT_OBJECT_0) return false;
        m_leavingThread.Reset();
    }
    for (size_t i = 0; i < m_deferredCount; ++i) LocalFree(m_deferredHalves[i]);
    m_deferredHalves = {};
    m_deferredCount = 0;
    return true;
}

void WasapiBackend::ReleaseChannels(DriverState&, Direction, RateSlot& slot) {
    // The streams go now (a leaving thread touches none of them again); the
    // host's halves wait while a callback may still be writing them.
    const bool deferHalves = LeavingThreadRuns();
    for (uint32_t j = 0; j < slot.streamCount; ++j) {
        auto* stream = static_cast<EndpointStream*>(slot.streams[j]);
        if (stream == nullptr) continue;
        stream->activeChannels = 0;
        stream->framesPerPeriod = 0;
        stream->ReleaseClients();
        stream->ready = false;
        stream->inUse = false;
    }
    slot.readyStreamMask = 0;
    for (uint32_t r = 0; r < slot.channelCount; ++r) {
        ChannelRoute& route = slot.routes[r];
        for (void*& half : route.buffers) {
            if (half == nullptr || !deferHalves || m_deferredCount == m_deferredHalves.size()) {
                continue;
            }
            m_deferredHalves[m_deferredCount++] = half;
            half = nullptr;
        }
        FreeHalves(route);
        route.framesPerHalf = 0;
        route.enabled = false;
    }
}

ASIOError WasapiBackend::StartThreads(DriverState& driver) {
    // A thread told to end from inside its own callback has returned by now
    // (the host's call came back through it); make sure before reusing its
    // members.
    if (!SettleLeavingThread()) return ASE_HWMalfunction;
    m_driver = &driver;
    // Cleared here, before the threads exist: cleared by the thread itself,
    // a command the host gives before the thread first runs (an exit right
    // after createBuffers) would be lost and the host would wait forever.
    // The answer a start taken from the flag alone left over from an earlier
    // set goes too.
    for (UniqueHandle& control : m_control) ResetEvent(control.get());
    ResetEvent(m_watchdogExit.get());
    ResetEvent(m_dopCommand.get());
    ResetEvent(m_dopCommandSent.get());
    InterlockedExchange(&m_dopSendPending, 0);
    ResetEvent(m_acknowledge.get());
    CancelWaitableTimer(m_watchdogTimer.get());
    DWORD streamingId = 0;
    m_streamingThread.Reset(
        CreateThread(nullptr, 0, StreamingThread, this, CREATE_SUSPENDED, &streamingId));
    m_threadId = streamingId;
    driver.streamingThreadId = streamingId;
    m_watchdogThread.Reset(
        CreateThread(nullptr, 0, WatchdogThread, this, CREATE_SUSPENDED, nullptr));
    if (!m_streamingThread || !m_watchdogThread) {
        // Never resumed: terminating a thread that has not run is safe.
        for (UniqueHandle* thread : {&m_streamingThread, &m_watchdogThread}) {
            if (*thread) TerminateThread(thread->get(), 0);
            thread->Reset();
        }
        m_driver = nullptr;
        m_threadId = 0;
        driver.streamingThreadId = 0;
        return ASE_NoMemory;
    }
    DWORD_PTR processMask = 0;
    DWORD_PTR systemMask = 0;
    GetProcessAffinityMask(GetCurrentProcess(), &processMask, &systemMask);
    for (UniqueHandle* thread : {&m_streamingThread, &m_watchdogThread}) {
        if (processMask != 0) SetThreadAffinityMask(thread->get(), processMask);
        SetThreadPriority(thread->get(), THREAD_PRIORITY_TIME_CRITICAL);
        SetThreadPriorityBoost(thread->get(), FALSE);
        ResumeThread(thread->get());
    }
    return ASE_OK;
}

void WasapiBackend::StopThreads(DriverState& driver) {
    // Waiting on the thread handle rather than polling its exit code: the
    // host's thread sleeps instead of spinning against a time-critical one.
    if (m_watchdogThread) {
        SetEvent(m_watchdogExit.get());
        if (WaitForSingleObject(m_watchdogThread.get(), kThreadEndMs) != WAIT_OBJECT_0) {
            // Stuck in a device command: it only touches what lives as long
            // as the back end, which waits for it again at the end.
            m_stuckWatchdog.Reset(m_watchdogThread.release());
        }
    }
    m_watchdogThread.Reset();
    if (m_streamingThread && OnStreamingThread()) {
        // Asked from inside a callback: the thread cannot wait for itself.
        // It leaves as soon as the callback returns and touches nothing of
        // this set on the way out, so the buffers can go now.
        m_leaveNow = true;
        SetEvent(m_control[kExit].get());
        m_leavingThread.Reset(m_streamingThread.release());
    } else if (m_streamingThread) {
        SetEvent(m_control[kExit].get());
        if (WaitForSingleObject(m_streamingThread.get(), kThreadEndMs) != WAIT_OBJECT_0) {
            // Held in a host callback past the bound (a host that waits in
            // its callback for this very call): the thread leaves once the
            // callback returns, touching nothing of this set, and the halves
            // it handed out outlive it.
            m_leaveNow = true;
            m_leavingThread.Reset(m_streamingThread.release());
        }
    }
    m_streamingThread.Reset();
    m_threadId = 0;
    driver.streamingThreadId = 0;
    m_driver = nullptr;
}

// A streaming thread that ended on a wait failure can no longer answer, and
// one held up in a host callback may be waiting for the very thread that
// asks: the host's thread waits a bounded time.
bool WasapiBackend::WaitAcknowledge() {
    if (!m_streamingThread) return false;
    const HANDLE handles[2] = {m_acknowledge.get(), m_streamingThread.get()};
    return WaitForMultipleObjects(2, handles, FALSE, kAcknowledgeMs) == WAIT_OBJECT_0;
}

ASIOError WasapiBackend::OnStart(DriverState&, bool transition) {
    InterlockedExchange(&m_restartRequest, 1);
    InterlockedExchange(&m_stopped, 0);
    if (!transition) return ASE_OK;
    if (OnStreamingThread()) {
        // A start from inside a callback: nothing to hand over.
        InterlockedExchange(&m_restartRequest, 0);
        if (!m_running) {
            StartStreams();
            m_running = true;
            ArmWatchdog();
        }
        return ASE_OK;
    }
    SetEvent(m_control[kStart].get());
    return WaitAcknowledge() ? ASE_OK : ASE_HWMalfunction;
}

ASIOError WasapiBackend::OnStop(DriverState&, bool transition) {
    InterlockedExchange(&m_stopped, 1);
    InterlockedExchange(&m_restartRequest, 0);
    if (transition && OnStreamingThread()) {
        // A stop from inside a callback: this thread is the one that would
        // answer, so it stops here and returns to the host.
        StopTransport();
    } else if (transition) {
        SetEvent(m_control[kStop].get());
        // Unanswered in time, the stop command stays queued: the thread
        // carries it out when it comes back, and `stopped` keeps the host's
        // callbacks away meanwhile.
        WaitAcknowledge();
    }
    // The driver object sends the off command once this returns.
    FlushDopCommand();
    return ASE_OK;
}

// Waits (bounded) until the watchdog thread has sent a pending on command,
// so the device hears on before off.
void WasapiBackend::FlushDopCommand() {
    constexpr DWORD kFlushMs = 5000;
    const DWORD begin = GetTickCount();
    while (m_dopSendPending != 0 && m_watchdogThread) {
        const DWORD spent = GetTickCount() - begin;
        if (spent >= kFlushMs) break;
        const HANDLE handles[2] = {m_dopCommandSent.get(), m_watchdogThread.get()};
        if (WaitForMultipleObjects(2, handles, FALSE, kFlushMs - spent) != WAIT_OBJECT_0) break;
    }
}

}  // namespace veltrano::asio
