#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>

#include "sim/internal.h"
#include "sim/nt_status.h"
#include "sim/sim.h"
#include "sim/wav_record.h"

namespace sim::detail {
namespace {

// Sim handles carry a tag no real handle has (real handles are small
// multiples of 4), a generation and a slot, so stale or foreign values are
// told apart from live ones.
constexpr uintptr_t kTag = 0x5E000000;
constexpr uintptr_t kTagMask = 0xFF000000;
constexpr unsigned kSlotBits = 10;
constexpr uint32_t kGenerationMask = 0x3FF;  // bits 12-21, below the tag

constexpr size_t kMaxRecorded = 64u << 20;
constexpr size_t kMaxRecording = 256u << 20;  // per instance, for VELTRANO_SIM_RECORD

SimLock g_mutex;
CONDITION_VARIABLE g_wake = CONDITION_VARIABLE_INIT;
std::atomic<FirstUseHook> g_firstUseHook{nullptr};

// The device clock runs while pin instances exist. In a `_sim` driver DLL
// it must be gone before the DLL unloads: a thread left running in unmapped
// code crashes the host, and joining it from the DLL's static destructors
// deadlocks on the loader lock. So the last pin to close stops it, from the
// closing thread, and the destructor only lets go of a thread the process
// is already ending. It is a plain system thread waiting on a condition
// variable: the C runtime's thread library would create kernel objects of
// its own on first contention, handles a long-running host would see appear.
class ClockThread {
public:
    // With g_mutex held.
    void EnsureRunning() {
        if (m_thread != nullptr) return;
        auto quit = std::make_shared<bool>(false);
        auto* run = new (std::nothrow) RunArgs{this, quit};
        if (run == nullptr) return;
        m_thread = CreateThread(nullptr, 0, &ClockThread::Main, run, 0, nullptr);
        if (m_thread == nullptr) {
            delete run;
            return;
        }
        m_quit = quit;
    }
    // Without g_mutex held.
    void Stop() {
        HANDLE thread = nullptr;
        {
            std::lock_guard<SimLock> lock(g_mutex);
            if (m_thread == nullptr) return;
            *m_quit = true;
            m_quit.reset();
            thread = m_thread;
            m_thread = nullptr;
        }
        WakeAllConditionVariable(&g_wake);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    ~ClockThread() {
        if (m_thread != nullptr) CloseHandle(m_thread);
    }
    // Each run has its own quit flag, so a clock restarted while an old one
    // is winding down never takes over its flag.
    void Run(const bool& quit);

private:
    struct RunArgs {
        ClockThread* clock;
        std::shared_ptr<bool> quit;
    };
    static DWORD WINAPI Main(void* argument) {
        std::unique_ptr<RunArgs> run(static_cast<RunArgs*>(argument));
        run->clock->Run(*run->quit);
        return 0;
    }

    std::shared_ptr<bool> m_quit;
    HANDLE m_thread = nullptr;
};

State& StateObject() {
    static State state = [] {
        State s;
        s.config = DefaultConfig();
        s.records.resize(s.config.devices.size());
        s.hid.resize(s.config.devices.size());
        for (size_t d = 0; d < s.config.devices.size(); ++d) {
            s.records[d].resize(s.config.devices[d].pins.size());
        }
        return s;
    }();
    return state;
}

ClockThread& TheClock() {
    static ClockThread clock;
    return clock;
}

// What the device recorded of a render stream: the per-pin record tests
// read, and the instance's recording for VELTRANO_SIM_RECORD.
void Record(PinInstance* pin, const uint8_t* data, size_t bytes, bool zeros) {
    PinRecord& record = StateObject().records[pin->device][pin->pinId];
    auto& rendered = record.rendered;
    if (rendered.size() + bytes <= kMaxRecorded) {
        if (zeros) {
            if (record.starved.size() < veltrano::wavcmp::GlitchLog::kMaxEntries) {
                record.starved.emplace_back(rendered.size(), bytes);
            }
            rendered.resize(rendered.size() + bytes, 0);
        } else {
            rendered.insert(rendered.end(), data, data + bytes);
        }
    }
    if (!pin->recordFolder.empty() && !pin->recordingCut) {
        // A recording with a packet left out would be no recording at all:
        // past the limit it ends.
        if (pin->received.size() + bytes <= kMaxRecording) {
            if (zeros) {
                pin->received.resize(pin->received.size() + bytes, 0);
            } else {
                pin->received.insert(pin->received.end(), data, data + bytes);
            }
        } else {
            pin->recordingCut = true;
        }
    }
}

void CompleteHead(PinInstance* pin) {
    State& state = StateObject();
    Transfer t = std::move(pin->queue.front());
    pin->queue.pop_front();
    KSSTREAM_HEADER* h = t.header;
    const Faults& faults = state.config.faults;
    if (faults.completionErrorAfter >= 0 && pin->completedSinceRun >= faults.completionErrorAfter) {
        if (!pin->render) h->DataUsed = 0;
        CompleteOverlapped(t.overlapped, ToNtStatus(faults.completionError), 0);
        return;
    }
    ULONG bytes = 0;
    if (pin->render) {
        StreamFaults& counts = state.records[pin->device][pin->pinId].faults;
        // The device plays what was queued; a caller that changed the
        // buffer since wrote into a packet the device held.
        const size_t size = t.queued.size();
        if (h->Data != nullptr && size > 0 && memcmp(h->Data, t.queued.data(), size) != 0) {
            ++counts.overwrites;
            pin->glitches.AddOverwrite(pin->recordedFrames, t.frames);
        }
        Record(pin, t.queued.data(), size, false);
        pin->recordedFrames += t.frames;
        bytes = static_cast<ULONG>(size);
    } else {
        auto* data = static_cast<uint8_t*>(h->Data);
        const ULONG frames = h->FrameExtent / pin->blockAlign;
        for (ULONG f = 0; f < frames; ++f) {
            sim::CaptureFrame(pin->captureFrame++, pin->blockAlign, data + f * pin->blockAlign);
        }
        bytes = frames * pin->blockAlign;
        h->DataUsed = bytes;
    }
    CompleteOverlapped(t.overlapped, kNtSuccess, bytes);
}

void ClockThread::Run(const bool& quit) {
    std::unique_lock<SimLock> lock(g_mutex);
    while (!quit) {
        State& state = StateObject();
        const auto now = Clock::now();
        auto next = now + std::chrono::milliseconds(100);
        const uint32_t stopAfterMs = state.config.faults.stopCompletingAfterMs;
        if (!state.config.faults.stallCompletions) {
            for (Object& object : state.objects) {
                if (object.kind != Kind::Pin) continue;
                PinInstance* pin = object.pin;
                if (pin->state != KSSTATE_RUN) continue;
                const auto silentFrom =
                    stopAfterMs == 0 ? Clock::time_point::max()
                                     : pin->runStart + std::chrono::milliseconds(stopAfterMs);
                while (!pin->queue.empty()) {
                    const auto due = pin->playhead + pin->queue.front().duration;
                    // A silent device needs no wake-up for this packet.
                    if (due > silentFrom) break;
                    const auto signalled = pin->render && pin->completedSinceRun ==
                                                              state.config.faults.lateRenderPacket
                                               ? due + std::chrono::milliseconds(
                                                           state.config.faults.lateRenderMs)
                                               : due;
                    if (signalled > now) {
                        next = std::min(next, signalled);
                        break;
                    }
                    CompleteHead(pin);
                    ++pin->completedSinceRun;
                    // The next packet starts where this one ended: the
                    // device clock does not drift with our wake-ups.
                    pin->playhead = due;
                }
            }
        }
        // Rounded up: a wake-up before the packet is due would only wait again.
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
        SleepConditionVariableSRW(&g_wake, g_mutex.Native(),
                                  wait.count() > 0 ? static_cast<DWORD>(wait.count()) : 0, 0);
    }
}

}  // namespace

std::unique_lock<SimLock> Lock() { return std::unique_lock<SimLock>(g_mutex); }
State& Get() { return StateObject(); }

HANDLE NewHandle(Object object) {
    State& state = StateObject();
    size_t slot = 0;
    while (slot < state.objects.size() && state.objects[slot].kind != Kind::Free) ++slot;
    if (slot == state.objects.size()) state.objects.emplace_back();
    if (slot >= (1u << kSlotBits)) return INVALID_HANDLE_VALUE;
    const uint32_t generation = (state.objects[slot].generation + 1) & kGenerationMask;
    object.generation = generation;
    state.objects[slot] = object;
    return reinterpret_cast<HANDLE>(kTag | (static_cast<uintptr_t>(generation) << (kSlotBits + 2)) |
                                    (slot << 2));
}

Object* Find(HANDLE h) {
    const auto value = reinterpret_cast<uintptr_t>(h);
    if ((value & kTagMask) != kTag || (value & 3) != 0) return nullptr;
    const size_t slot = (value >> 2) & ((1u << kSlotBits) - 1);
    const uint32_t generation = (value >> (kSlotBits + 2)) & kGenerationMask;
    State& state = StateObject();
    if (slot >= state.objects.size()) return nullptr;
    Object& object = state.objects[slot];
    if (object.kind == Kind::Free || object.generation != generation) return nullptr;
    return &object;
}

void FreeHandle(HANDLE h) {
    Object* object = Find(h);
    if (object == nullptr) return;
    const uint32_t generation = object->generation;
    *object = Object{};
    object->generation = generation;
}

void CompleteOverlapped(OVERLAPPED* overlapped, DWORD ntStatus, ULONG_PTR bytes) {
    overlapped->Internal = ntStatus;
    overlapped->InternalHigh = bytes;
    // The low bit only asks that no completion-port packet be queued.
    auto event = reinterpret_cast<HANDLE>(reinterpret_cast<uintptr_t>(overlapped->hEvent) &
                                          ~static_cast<uintptr_t>(1));
    if (event != nullptr) SetEvent(event);
}

void RunFirstUse() {
    static std::once_flag once;
    const FirstUseHook hook = g_firstUseHook.load();
    if (hook != nullptr) std::call_once(once, hook);
}

void WakeClock() {
    TheClock().EnsureRunning();
    WakeAllConditionVariable(&g_wake);
}

void StopClockIfIdle() {
    {
        std::lock_guard<SimLock> lock(g_mutex);
        for (const Object& object : StateObject().objects) {
            if (object.kind == Kind::Pin) return;
        }
    }
    TheClock().Stop();
}

void CancelQueue(PinInstance* pin) {
    while (!pin->queue.empty()) {
        CompleteOverlapped(pin->queue.front().overlapped, kNtCancelled, 0);
        pin->queue.pop_front();
    }
}

void AccountStarvation(PinInstance* pin, Clock::time_point now) {
    // The device moves data in 1 ms bus frames: a packet that arrives
    // within the frame the last one ended in is in time.
    if (now <= pin->playhead + std::chrono::milliseconds(1) || pin->rate == 0) {
        pin->playhead = std::max(pin->playhead, now);
        return;
    }
    const auto gap = std::chrono::duration_cast<std::chrono::nanoseconds>(now - pin->playhead);
    const uint64_t frames = static_cast<uint64_t>(gap.count()) * pin->rate / 1000000000ull;
    if (frames == 0) return;
    StreamFaults& counts = StateObject().records[pin->device][pin->pinId].faults;
    ++counts.underruns;
    counts.starvedFrames += frames;
    if (pin->render) {
        pin->glitches.AddUnderrun(pin->recordedFrames, frames);
        Record(pin, nullptr, static_cast<size_t>(frames) * pin->blockAlign, true);
        pin->recordedFrames += frames;
    } else {
        pin->captureFrame += frames;  // what the device captured went nowhere
    }
    pin->playhead = now;
}

bool CancelTransfers(PinInstance* pin, OVERLAPPED* overlapped) {
    bool any = false;
    for (auto it = pin->stalledRequests.begin(); it != pin->stalledRequests.end();) {
        if (overlapped != nullptr && *it != overlapped) {
            ++it;
            continue;
        }
        CompleteOverlapped(*it, kNtCancelled, 0);
        it = pin->stalledRequests.erase(it);
        any = true;
    }
    for (auto it = pin->queue.begin(); it != pin->queue.end();) {
        if (overlapped != nullptr && it->overlapped != overlapped) {
            ++it;
            continue;
        }
        CompleteOverlapped(it->overlapped, kNtCancelled, 0);
        it = pin->queue.erase(it);
        any = true;
    }
    return any;
}

void ClosePin(PinInstance* pin) {
    CancelQueue(pin);
    CancelTransfers(pin, nullptr);  // closing a handle cancels what it has pending
    if (pin->render && !pin->recordFolder.empty() && !pin->received.empty()) {
        WriteRecording(*pin);
    }
    State& state = StateObject();
    if (pin->device < state.records.size() && pin->pinId < state.records[pin->device].size()) {
        auto& record = state.records[pin->device][pin->pinId];
        if (record.currentInstances > 0) --record.currentInstances;
    }
    delete pin;
}

DWORD AnswerBytes(const void* value, DWORD size, void* out, DWORD outSize, DWORD* returned) {
    *returned = 0;
    if (outSize == 0) {
        *returned = size;
        return StateObject().config.faults.sizeQueryError;
    }
    if (outSize < size || out == nullptr) return ERROR_INSUFFICIENT_BUFFER;
    memcpy(out, value, size);
    *returned = size;
    return 0;
}

}  // namespace sim::detail

namespace sim {

using namespace detail;

void Configure(const Config& config) {
    auto lock = Lock();
    State& state = Get();
    for (Object& object : state.objects) {
        if (object.kind == Kind::Pin) ClosePin(object.pin);
        if (object.kind == Kind::DevInfo) delete object.devInfo;
        const uint32_t generation = object.generation;
        object = Object{};
        object.generation = generation;
    }
    state.hidPending.clear();  // their handles are gone
    state.config = config;
    state.records.assign(config.devices.size(), {});
    state.hid.assign(config.devices.size(), {});
    for (size_t d = 0; d < config.devices.size(); ++d) {
        state.records[d].resize(config.devices[d].pins.size());
    }
}

void Reset() { Configure(DefaultConfig()); }

Config CurrentConfig() {
    RunFirstUse();
    auto lock = Lock();
    return Get().config;
}

void SetFirstUseHook(FirstUseHook hook) { g_firstUseHook.store(hook); }

std::vector<uint8_t> RenderedBytes(size_t device, uint32_t pinId) {
    auto lock = Lock();
    State& state = Get();
    if (device >= state.records.size() || pinId >= state.records[device].size()) return {};
    return state.records[device][pinId].rendered;
}

std::vector<KSSTATE> StateHistory(size_t device, uint32_t pinId) {
    auto lock = Lock();
    State& state = Get();
    if (device >= state.records.size() || pinId >= state.records[device].size()) return {};
    const auto& history = state.records[device][pinId].history;
    return {history.begin(), history.end()};
}

void CaptureFrame(uint64_t n, size_t frameBytes, uint8_t* out) {
    // An odd multiplier makes n -> value a bijection modulo every power of
    // two, so the first eight bytes of a frame differ from any other
    // frame's within their period; longer frames go on with mixed words.
    uint64_t value = n * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull;
    for (size_t i = 0; i < frameBytes; ++i) {
        if (i > 0 && i % 8 == 0) value = (value ^ (value >> 29)) * 0xBF58476D1CE4E5B9ull + i;
        out[i] = static_cast<uint8_t>(value >> (8 * (i % 8)));
    }
}

std::vector<uint8_t> RenderedFromHost(size_t device, uint32_t pinId) {
    auto lock = Lock();
    State& state = Get();
    if (device >= state.records.size() || pinId >= state.records[device].size()) return {};
    const PinRecord& record = state.records[device][pinId];
    std::vector<uint8_t> out;
    size_t at = 0;
    for (const auto& [offset, bytes] : record.starved) {
        out.insert(out.end(), record.rendered.begin() + static_cast<std::ptrdiff_t>(at),
                   record.rendered.begin() + static_cast<std::ptrdiff_t>(offset));
        at = offset + bytes;
    }
    out.insert(out.end(), record.rendered.begin() + static_cast<std::ptrdiff_t>(at),
               record.rendered.end());
    return out;
}

StreamFaults PinFaults(size_t device, uint32_t pinId) {
    auto lock = Lock();
    State& state = Get();
    if (device >= state.records.size() || pinId >= state.records[device].size()) return {};
    return state.records[device][pinId].faults;
}

bool IsSimHandle(HANDLE h) {
    auto lock = Lock();
    return Find(h) != nullptr;
}

size_t OpenHandleCount() {
    auto lock = Lock();
    return static_cast<size_t>(std::count_if(Get().objects.begin(), Get().objects.end(),
                                             [](const Object& o) { return o.kind != Kind::Free; }));
}

}  // namespace sim
