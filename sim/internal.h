#pragma once
// The virtual device's shared state. Everything here is used under Lock().

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/win32_headers.h"
#include "sim/config.h"
#include "tools/wavcmp/glitch_log.h"

namespace sim::detail {

using Clock = std::chrono::steady_clock;

// A queued stream transfer; the caller owns the header, data and OVERLAPPED
// until the completion is signalled, as with a real driver.
struct Transfer {
    KSSTREAM_HEADER* header;
    OVERLAPPED* overlapped;
    Clock::duration duration;
    uint64_t frames;
    // Render: the bytes as they were when the packet was queued. The device
    // plays these; the caller's buffer changing meanwhile is a fault.
    std::vector<uint8_t> queued;
};

struct PinInstance {
    size_t device = 0;
    uint32_t pinId = 0;
    bool render = false;
    KSSTATE state = KSSTATE_STOP;
    bool inReset = false;
    uint32_t blockAlign = 0;
    uint32_t rate = 0;
    uint16_t channels = 0;
    uint16_t bits = 0;
    Clock::time_point runStart{};  // when the instance last entered KSSTATE_RUN
    std::deque<Transfer> queue;
    std::vector<OVERLAPPED*> stalledRequests;  // property requests that never complete
    // The device's clock while running: where in time the stream has got
    // to (the end of the last packet played, or the start of running). It
    // runs on whether or not anything is queued; time it finds nothing to
    // play is an underrun.
    Clock::time_point playhead{};
    uint64_t captureFrame = 0;      // capture: frames the device has produced
    uint64_t recordedFrames = 0;    // render: frames in the recording so far
    veltrano::wavcmp::GlitchLog glitches;
    int64_t completedSinceRun = 0;  // packets completed since KSSTATE_RUN
    int64_t transfersQueued = 0;    // read or write requests taken since creation
    uint32_t instanceNumber = 0;    // 1-based count of (device, pin) instances
    std::string recordFolder;       // VELTRANO_SIM_RECORD when the instance was made
    std::vector<uint8_t> received;  // render, while recording: completed bytes
    bool recordingCut = false;      // the recording reached its size limit
};

struct DevInfoSet {
    GUID category;
    std::vector<size_t> devices;  // members, in enumeration order
};

enum class Kind { Free, Filter, Pin, DevInfo, Hid, HidPreparsed };

struct Object {
    Kind kind = Kind::Free;
    uint32_t generation = 0;
    size_t device = 0;  // filters
    PinInstance* pin = nullptr;
    DevInfoSet* devInfo = nullptr;
    DWORD access = 0;  // HID handles: as opened
    DWORD share = 0;
    DWORD flags = 0;
};

// Inspection records stay bounded however long a host uses the device:
// past this many entries the oldest go.
inline constexpr size_t kMaxHistory = 256;

template <typename T>
void PushBounded(std::deque<T>& records, T value) {
    if (records.size() >= kMaxHistory) records.pop_front();
    records.push_back(std::move(value));
}

struct PinRecord {  // per configured pin: what tests observe
    uint32_t currentInstances = 0;
    uint32_t instancesCreated = 0;
    std::vector<uint8_t> rendered;
    // Where in `rendered` starved silence went: (byte offset, bytes).
    std::vector<std::pair<size_t, size_t>> starved;
    std::deque<KSSTATE> history;
    StreamFaults faults;
};

struct HidRecord {  // per device: what tests observe
    std::deque<std::vector<uint8_t>> reports;
    std::deque<DWORD> openFlags;
};

// An overlapped HID write the device has not taken (a stalled write fault).
struct HidPendingWrite {
    HANDLE handle;
    OVERLAPPED* overlapped;
};

struct State {
    Config config;
    std::vector<HidPendingWrite> hidPending;
    std::vector<std::vector<PinRecord>> records;  // [device][pin]
    std::vector<HidRecord> hid;                   // [device]
    std::vector<Object> objects;
};

// The device's lock. A slim reader/writer lock owns no kernel object: a
// host that uses the device for hours must see its handle count stay put,
// and a lock that makes an event on its first contention would add one at
// a moment nobody can predict.
class SimLock {
public:
    void lock() noexcept { AcquireSRWLockExclusive(&m_lock); }
    void unlock() noexcept { ReleaseSRWLockExclusive(&m_lock); }
    SRWLOCK* Native() noexcept { return &m_lock; }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
};

std::unique_lock<SimLock> Lock();
State& Get();  // call with the lock held

HANDLE NewHandle(Object object);
Object* Find(HANDLE h);  // null unless a live sim handle
void FreeHandle(HANDLE h);

// Completion of a transfer: status, bytes, and the caller's event signalled.
void CompleteOverlapped(OVERLAPPED* overlapped, DWORD ntStatus, ULONG_PTR bytes);
// Runs the first-use hook once (outside the lock): the `_sim` drivers load
// their device profile there.
void RunFirstUse();
// Wakes the clock thread after queueing or a state change.
void WakeClock();
void CancelQueue(PinInstance* pin);
// A running pin whose queue ran dry until `now`: the device played silence
// (render) or captured into nothing (capture) meanwhile.
void AccountStarvation(PinInstance* pin, Clock::time_point now);
// Cancels the pin's transfer with this OVERLAPPED (every one when null);
// false when there was none.
bool CancelTransfers(PinInstance* pin, OVERLAPPED* overlapped);
// The same for stalled HID writes on a handle.
bool CancelHidWrites(HANDLE handle, OVERLAPPED* overlapped);
void ClosePin(PinInstance* pin);
// Stops the device clock when no pin instance is open. Call without the lock.
void StopClockIfIdle();

// Request handlers; each returns a Windows error code (0 = success).
DWORD FilterIoctl(size_t device, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                  DWORD* returned);
DWORD PinIoctl(PinInstance* pin, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
               DWORD* returned, OVERLAPPED* overlapped, bool* pending);

DWORD CreatePin(HANDLE filter, KSPIN_CONNECT* connect, HANDLE* pinHandle);

// Device d's interface path in a category; empty when it has none there.
std::string PathOf(size_t device, const GUID& category);

// The HID interface class and device d's path in it (empty without one).
extern const GUID kHidInterfaceClass;
std::string HidPathOf(size_t device);
HANDLE OpenHid(size_t device, DWORD access, DWORD share, DWORD flags);

// Writes a fixed-size property answer with the platform's size rules.
DWORD AnswerBytes(const void* value, DWORD size, void* out, DWORD outSize, DWORD* returned);

}  // namespace sim::detail
