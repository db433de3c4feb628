#pragma once
// The per-instance state of a driver object that its back end and streaming
// engine read and write. The host's thread owns it; the streaming thread
// reads the plain aligned fields without locks.

#include <windows.h>

#include <cstdint>

#include "asio/core/asio_interface.h"
#include "asio/core/capability_table.h"
#include "asio/core/switch_clock.h"

namespace veltrano {
class StatusBlock;
}  // namespace veltrano

namespace veltrano::asio {

// Object states, mirrored into the status block's `state`.
enum DriverStateValue : int {
    kStateUnloaded = 0,
    kStateLoaded = 1,
    kStateInitialized = 2,
    kStatePrepared = 3,
    kStateRunning = 4,
};

inline constexpr int kQueueDepth = 2;

// What creation-time discovery learns about the device.
struct DeviceIdentity {
    char deviceName[260] = {};
    uint16_t usbVendorId = 0;
    uint16_t usbProductId = 0;
    uint8_t widthMask = 0;  // bit 1 16, bit 2 24, bit 3 32
    bool hasInput = false;
};

struct DriverState {
    GUID classId{};
    DeviceIdentity device;
    void* sysHandle = nullptr;
    int state = kStateUnloaded;
    int bitsPerSample = 0;
    // The width init chose from the user's setting; native DSD borrows
    // bitsPerSample (32) and gives this back when the rate leaves DSD.
    int userBitsPerSample = 0;
    uint32_t pcmRate = 0;
    uint32_t asioRate = 0;       // pcmRate, or a native DSD rate
    int64_t bufferDuration = 0;  // 100-ns units
    long bufferSize = 0;         // frames per buffer half, from createBuffers
    volatile long rateChanged = 0;
    int queueDepth = kQueueDepth;
    CapabilityTable table;
    RateSlot* currentSlot[kDirectionCount] = {nullptr, nullptr};
    // The slots a buffer set was created on, from createBuffers to
    // disposeBuffers; the streaming thread works on these.
    RateSlot* inUseSlot[kDirectionCount] = {nullptr, nullptr};
    ASIOCallbacks callbacks{};
    bool hostTimeInfo = false;  // the host answered kAsioSupportsTimeInfo
    // The streaming thread's own running position (samples at the host's
    // rate: DSD samples in native DSD) and the time of its last switch.
    int64_t samplePosition = 0;
    int64_t systemTime = 0;  // nanoseconds
    // The pair taken at each buffer switch: what getSamplePosition and the
    // time-info callback report, readable from any thread.
    SwitchClock reported;
    int64_t switchCount = 0;  // buffer switches delivered since start
    // The id of the back end's streaming thread while it exists (0 when
    // none): a host call made on it, from inside a callback, must not wait
    // for that thread.
    volatile DWORD streamingThreadId = 0;
    // Set by the output path once DSD-over-PCM markers were seen and the
    // device was told; stop clears it and tells the device again.
    volatile long dopDetected = 0;
    StatusBlock* block = nullptr;  // never null once the object exists

    bool OnStreamingThread() const {
        return streamingThreadId != 0 && streamingThreadId == GetCurrentThreadId();
    }
    // The rate the host set: the DSD rate in native DSD, where positions
    // count DSD samples; equal to pcmRate otherwise.
    double HostRate() const { return static_cast<double>(asioRate); }

    RateSlot*& CurrentSlot(Direction d) { return currentSlot[static_cast<int>(d)]; }
    RateSlot* CurrentSlot(Direction d) const { return currentSlot[static_cast<int>(d)]; }
    RateSlot*& InUseSlot(Direction d) { return inUseSlot[static_cast<int>(d)]; }
    RateSlot* InUseSlot(Direction d) const { return inUseSlot[static_cast<int>(d)]; }
};

}  // namespace veltrano::asio
