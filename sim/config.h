#pragma once
// What the virtual Veltrano-HD looks like, set per test (or, later, from a
// profile) before the device is used. Plain data only.

#include <cstdint>
#include <string>
#include <vector>

#include "common/device_table.h"
#include "platform/win32_headers.h"

namespace sim {

// One KSDATARANGE_AUDIO of a pin.
struct DataRangeConfig {
    uint32_t maxChannels = 2;
    uint32_t minBits = 16;
    uint32_t maxBits = 16;
    uint32_t minRate = 32000;
    uint32_t maxRate = 384000;
    GUID majorFormat = {
        0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
    GUID subFormat = {0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
};

struct PinConfig {
    KSPIN_DATAFLOW dataFlow = KSPIN_DATAFLOW_IN;
    KSPIN_COMMUNICATION communication = KSPIN_COMMUNICATION_SINK;
    std::vector<DataRangeConfig> ranges;
    bool standardInterface = true;  // KSINTERFACE_STANDARD_STREAMING offered
    bool loopedInterface = false;   // KSINTERFACE_STANDARD_LOOPED_STREAMING offered
    bool standardMedium = true;
    uint32_t possibleInstances = 1;
    // USB audio streaming interfaces carry a fixed channel count: a format
    // with fewer channels than the range's maximum is refused.
    bool exactChannels = true;
    GUID category{};
    std::wstring name;
};

enum class AliasState { Absent, Enabled, Disabled, Removed };

// The device's HID interface (a vendor-defined collection).
struct HidConfig {
    bool present = true;
    uint16_t vendorId = veltrano::SupportedDeviceTable[0].vendorId;
    uint16_t productId = veltrano::SupportedDeviceTable[0].productId;
    uint16_t inputReportLength = 64;
    uint16_t outputReportLength = 64;
};

struct DeviceConfig {
    // Empty: a lower-case USB composite path built from the accepted-devices
    // table's first entry.
    std::string basePath;
    AliasState renderAlias = AliasState::Enabled;
    std::vector<PinConfig> pins;
    std::vector<GUID> nodes;
    HidConfig hid;
};

// Faults a test can inject. Error values are Windows error codes.
struct Faults {
    bool ksUserMissing = false;  // KsCreatePin cannot be loaded
    GUID failPropertySet{};      // with failPropertyId: that property fails
    uint32_t failPropertyId = 0xFFFFFFFF;
    DWORD failPropertyError = ERROR_GEN_FAILURE;
    DWORD pinCreateError = 0;                // every KsCreatePin fails with it
    DWORD transferError = 0;                 // every read or write is refused with it
    bool stallCompletions = false;           // queued packets never complete
    bool asyncProperties = false;            // property requests complete pending
    DWORD sizeQueryError = ERROR_MORE_DATA;  // or ERROR_INSUFFICIENT_BUFFER
    DWORD hidOpenError = 0;                  // every HID interface open fails with it
    DWORD hidOverlappedOpenError = 0;        // only overlapped HID opens fail with it
    DWORD hidWriteError = 0;                 // every HID output report is refused with it
    // A HID interface that stops taking reports: overlapped writes stay
    // pending until cancelled, synchronous ones block this long and then
    // fail with ERROR_SEM_TIMEOUT (0: no fault).
    uint32_t hidWriteStallMs = 0;
    // A device that goes silent: packets complete until this many ms after
    // a pin instance last entered KSSTATE_RUN, then never (0: no fault);
    // stopping the pin still cancels them.
    uint32_t stopCompletingAfterMs = 0;
    // A USB hiccup on the render side: the render packet with this 0-based
    // number since the pin last entered KSSTATE_RUN completes this many ms
    // after its time; the packets behind it follow at once, and the device
    // clock itself does not move (-1: no fault).
    int lateRenderPacket = -1;
    uint32_t lateRenderMs = 0;
    // A caller held up by the system: the render write request with this
    // 0-based number since the pin was made is queued at once, but the
    // request returns to the caller only this many ms later (-1: no fault).
    int slowRenderWrite = -1;
    uint32_t slowRenderWriteMs = 0;
    // A device that fails its transfers (removed, say): from the transfer
    // with this 0-based number since a pin last entered KSSTATE_RUN on,
    // every completion of that pin carries `completionError` (a Windows
    // error, completed as its NTSTATUS) instead of success (-1: no fault).
    int completionErrorAfter = -1;
    DWORD completionError = ERROR_DEVICE_REMOVED;
    // Pin state changes to `failStateTo` fail with `failStateError`
    // (-1: none).
    int failStateTo = -1;
    DWORD failStateError = ERROR_GEN_FAILURE;
    // A device that stops answering: an overlapped request to change a pin
    // to this state goes pending and completes only when it is cancelled
    // (CancelIoEx or closing the pin), leaving the state as it was (-1: none).
    int stallStateTo = -1;
};

// What a stream did that a real device would have made audible.
struct StreamFaults {
    uint64_t underruns = 0;      // times the device's clock found nothing queued
    uint64_t starvedFrames = 0;  // frames of silence played (render) or lost (capture)
    uint64_t overwrites = 0;     // render packets changed between queueing and playing
};

struct Config {
    std::vector<DeviceConfig> devices;
    Faults faults;
};

// A stereo device with 16-, 24- and 32-bit ranges over the nine rates:
// render sink pin 0, bridge pin 1 (out), capture sink pin 2, bridge pin 3 (in).
DeviceConfig DefaultDevice();
// The same without the capture side (pins 0 and 1).
DeviceConfig RenderOnlyDevice();
PinConfig RenderSinkPin(uint32_t channels = 2);
PinConfig CaptureSinkPin(uint32_t channels = 2);
PinConfig BridgePin(KSPIN_DATAFLOW dataFlow);
// The default configuration: one DefaultDevice, no faults.
Config DefaultConfig();

}  // namespace sim
