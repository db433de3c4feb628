#pragma once
// Kernel-streaming reply layouts as they travel over DeviceIoControl, declared
// without Windows headers so the reply parsers also build natively. The
// Windows build checks each against ks.h/ksmedia.h (ks_wire_check.cpp).

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kswire {

struct Guid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];
};

inline bool operator==(const Guid& a, const Guid& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool IsNullGuid(const Guid& g) { return g == Guid{}; }

// KSIDENTIFIER: KSPROPERTY, KSPIN_INTERFACE and KSPIN_MEDIUM share it.
struct Identifier {
    Guid Set;
    uint32_t Id;
    uint32_t Flags;
};

struct MultipleItem {
    uint32_t Size;
    uint32_t Count;
};

// KSDATARANGE is a union with a LONGLONG, hence the 8-byte alignment.
struct alignas(8) DataRange {
    uint32_t FormatSize;
    uint32_t Flags;
    uint32_t SampleSize;
    uint32_t Reserved;
    Guid MajorFormat;
    Guid SubFormat;
    Guid Specifier;
};

struct alignas(8) DataRangeAudio {
    DataRange DataRange;
    uint32_t MaximumChannels;
    uint32_t MinimumBitsPerSample;
    uint32_t MaximumBitsPerSample;
    uint32_t MinimumSampleFrequency;
    uint32_t MaximumSampleFrequency;
};

static_assert(sizeof(Identifier) == 24);
static_assert(sizeof(MultipleItem) == 8);
static_assert(sizeof(DataRange) == 64);
static_assert(sizeof(DataRangeAudio) == 88);

// A WAVE_FORMAT_xxxx tag seen as a subtype GUID: xxxx0000-0000-0010-8000-00AA00389B71.
constexpr Guid WaveTagGuid(uint16_t tag) {
    return Guid{tag, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
}

inline constexpr Guid kTypeAudio{
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr Guid kSubtypePcm = WaveTagGuid(1);
inline constexpr Guid kSpecifierWaveFormatEx{
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};
inline constexpr Guid kInterfaceSetStandard{
    0x1A8766A0, 0x62CE, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};
inline constexpr Guid kMediumSetStandard{
    0x4747B320, 0x62CE, 0x11CF, {0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00}};

inline constexpr uint16_t kWaveFormatPcm = 1;
inline constexpr uint16_t kWaveFormatExtensible = 0xFFFE;

}  // namespace kswire
