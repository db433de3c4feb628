#pragma once
// The record the ASIO drivers and the control panel share through named
// memory. It is a cross-process format: every offset is fixed, every field a
// little-endian 32-bit value that is stored and loaded as one aligned access,
// so readers and writers need no lock.

#include <cstddef>
#include <cstdint>

namespace veltrano {

inline constexpr char kStatusBlockName[] = "Veltrano-HD_20130107";
inline constexpr uint32_t kStatusBlockMagic = 0x20130107;
inline constexpr uint32_t kStatusBlockSize = 340;
inline constexpr uint32_t kStatusDeviceNameSize = 256;

// Driver states as the block shows them.
enum StatusState : uint32_t {
    kStatusUnloaded = 0,
    kStatusLoaded = 1,
    kStatusInitialized = 2,
    kStatusPrepared = 3,
    kStatusRunning = 4,
};

struct AsioStatusBlock {
    uint32_t magic;
    uint32_t state;
    uint32_t settingsLoaded;
    uint8_t ownerClsid[16];  // GUID in memory layout; all zero when unowned
    uint32_t changed;
    uint32_t showPanelRequest;
    uint32_t bufferSizeSetting;     // 0.1 ms units
    uint32_t bitsPerSampleSetting;  // 16, 24 or 32
    uint32_t bufferSize;            // 0.1 ms after init, device frames once buffers exist
    uint32_t sampleRate;            // device (carrier) rate in Hz
    uint32_t bitsPerSample;
    uint32_t supportedRates;  // bit i = rate table entry i
    uint32_t supportedBits;   // bit 1 16, bit 2 24, bit 3 32
    char deviceName[kStatusDeviceNameSize];
    uint32_t dsdActive;
    uint32_t dsd128;
    uint32_t dsd256;
    uint32_t nativeDsd;
    uint32_t resetRequest;
};

static_assert(sizeof(AsioStatusBlock) == kStatusBlockSize);
static_assert(offsetof(AsioStatusBlock, magic) == 0);
static_assert(offsetof(AsioStatusBlock, state) == 4);
static_assert(offsetof(AsioStatusBlock, settingsLoaded) == 8);
static_assert(offsetof(AsioStatusBlock, ownerClsid) == 12);
static_assert(offsetof(AsioStatusBlock, changed) == 28);
static_assert(offsetof(AsioStatusBlock, showPanelRequest) == 32);
static_assert(offsetof(AsioStatusBlock, bufferSizeSetting) == 36);
static_assert(offsetof(AsioStatusBlock, bitsPerSampleSetting) == 40);
static_assert(offsetof(AsioStatusBlock, bufferSize) == 44);
static_assert(offsetof(AsioStatusBlock, sampleRate) == 48);
static_assert(offsetof(AsioStatusBlock, bitsPerSample) == 52);
static_assert(offsetof(AsioStatusBlock, supportedRates) == 56);
static_assert(offsetof(AsioStatusBlock, supportedBits) == 60);
static_assert(offsetof(AsioStatusBlock, deviceName) == 64);
static_assert(offsetof(AsioStatusBlock, dsdActive) == 320);
static_assert(offsetof(AsioStatusBlock, dsd128) == 324);
static_assert(offsetof(AsioStatusBlock, dsd256) == 328);
static_assert(offsetof(AsioStatusBlock, nativeDsd) == 332);
static_assert(offsetof(AsioStatusBlock, resetRequest) == 336);

}  // namespace veltrano
