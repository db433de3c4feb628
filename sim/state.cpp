#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <thread>

#include "sim/internal.h"
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
constexpr DWORD kStatusSuccess = 0;
constexpr DWORD kStatusCancelled = 0xC0000120;

std::mutex g_mutex;
std::condition_variable g_wake;
std::atomic<FirstUseHook> g_firstUseHook{nullptr};

// The device clock runs while pin instances exist. In a `_sim` driver DLL
// it must be gone before the DLL unloads: a thread left running in unmapped
// code crashes the host, and joining it from the DLL's static destructors
// deadlocks on the loader lock. So the last pin to close stops it, from the
// closing thread, and the destructor only lets go of a thread the process
// is already ending.
class ClockThread {
public:
    // With g_mutex held.
    void EnsureRunning() {
        if (m_thread.joinable()) return;
        auto quit = std::make_shared<bool>(false);
        m_quit = quit;
        m_thread = std::thread([this, quit] { Run(*quit); });
    }
    // Without g_mutex held.
    void Stop() {
        std::thread thread;
        {
            std::lock_guard<std::mutex> lock(g_mutex);
            if (!m_thread.joinable()) return;
            *m_quit = true;
            m_quit.reset();
            thread = std::move(m_thread);
        }
        g_wake.notify_all();
        thread.join();
    }
    ~ClockThread() {
        if (m_thread.joinable()) m_thread.detach();
    }
    // Each run has its own quit flag, so a clock restarted while an old one
    // is winding down never takes over its flag.
    void Run(const bool& quit);

private:
    std::shared_ptr<bool> m_quit;
    std::thread m_thread;
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

void CompleteHead(PinInstance* pin) {
    State& state = StateObject();
    Transfer t = pin->queue.front();
    pin->queue.pop_front();
    KSSTREAM_HEADER* h = t.header;
    ULONG bytes = 0;
    if (pin->render) {
        auto& rendered = state.records[pin->device][pin->pinId].rendered;
        const auto* data = static_cast<const uint8_t*>(h->Data);
        if (rendered.size() + h->DataUsed <= kMaxRecorded) {
            rendered.insert(rendered.end(), data, data + h->DataUsed);
        }
        if (!pin->recordFolder.empty() && !pin->recordingCut) {
            // A recording with a packet left out would be no recording at all:
            // past the limit it ends.
            if (pin->received.size() + h->DataUsed <= kMaxRecording) {
                pin->received.insert(pin->received.end(), data, data + h->DataUsed);
            } else {
                pin->recordingCut = true;
            }
        }
        bytes = h->DataUsed;
    } else {
        auto* data = static_cast<uint8_t*>(h->Data);
        for (ULONG i = 0; i < h->FrameExtent; ++i) data[i] = CaptureByte(pin->captureIndex++);
        h->DataUsed = h->FrameExtent;
        bytes = h->FrameExtent;
    }
    CompleteOverlapped(t.overlapped, kStatusSuccess, bytes);
}

void ClockThread::Run(const bool& quit) {
    std::unique_lock<std::mutex> lock(g_mutex);
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
                    if (!pin->headRunning) {
                        pin->headRunning = true;
                        pin->headStart = now;
                    }
                    const auto due = pin->headStart + pin->queue.front().duration;
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
                    pin->headStart = due;
                }
                if (pin->queue.empty()) pin->headRunning = false;
            }
        }
        g_wake.wait_until(lock, next);
    }
}

}  // namespace

std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(g_mutex); }
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
    g_wake.notify_all();
}

void StopClockIfIdle() {
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        for (const Object& object : StateObject().objects) {
            if (object.kind == Kind::Pin) return;
        }
    }
    TheClock().Stop();
}

void CancelQueue(PinInstance* pin) {
    while (!pin->queue.empty()) {
        CompleteOverlapped(pin->queue.front().overlapped, kStatusCancelled, 0);
        pin->queue.pop_front();
    }
    pin->headRunning = false;
}

void ClosePin(PinInstance* pin) {
    CancelQueue(pin);
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
    return state.records[device][pinId].history;
}

uint8_t CaptureByte(uint64_t n) { return static_cast<uint8_t>((n * 7 + 3) & 0xFF); }

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
