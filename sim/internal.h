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

namespace sim::detail {

using Clock = std::chrono::steady_clock;

// A queued stream transfer; the caller owns the header, data and OVERLAPPED
// until the completion is signalled, as with a real driver.
struct Transfer {
    KSSTREAM_HEADER* header;
    OVERLAPPED* overlapped;
    Clock::duration duration;
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
    bool headRunning = false;
    Clock::time_point headStart{};
    uint64_t captureIndex = 0;
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

struct PinRecord {  // per configured pin: what tests observe
    uint32_t currentInstances = 0;
    uint32_t instancesCreated = 0;
    std::vector<uint8_t> rendered;
    std::vector<KSSTATE> history;
};

struct HidRecord {  // per device: what tests observe
    std::vector<std::vector<uint8_t>> reports;
    std::vector<DWORD> openFlags;
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

std::unique_lock<std::mutex> Lock();
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
