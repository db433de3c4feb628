#pragma once
// The accepted-devices table: six (vendor ID, product ID, interface number)
// entries; the table ends at the first entry whose vendor ID is 0. The values
// come from the build's VELTRANO_DEVICE_TABLE setting.

#include <array>
#include <cstdint>

namespace veltrano {

struct SupportedDevice {
    uint16_t vendorId;
    uint16_t productId;
    uint8_t interfaceNumber;
};

inline constexpr int kSupportedDeviceSlots = 6;
using SupportedDeviceTableType = std::array<SupportedDevice, kSupportedDeviceSlots>;

extern const SupportedDeviceTableType SupportedDeviceTable;

// The entry for a (vendor, product) pair, first match wins; null when the pair
// is not accepted. Entries after the first zero vendor ID are never looked at.
const SupportedDevice* FindSupportedDevice(const SupportedDeviceTableType& table, uint16_t vendorId,
                                           uint16_t productId);

inline const SupportedDevice* FindSupportedDevice(uint16_t vendorId, uint16_t productId) {
    return FindSupportedDevice(SupportedDeviceTable, vendorId, productId);
}

// Number of entries before the terminator.
int SupportedDeviceCount(const SupportedDeviceTableType& table);

}  // namespace veltrano
