#include "common/device_table.h"

namespace veltrano {

const SupportedDeviceTableType SupportedDeviceTable = {{
#include "veltrano/device_table_values.inc"
}};

const SupportedDevice* FindSupportedDevice(const SupportedDeviceTableType& table, uint16_t vendorId,
                                           uint16_t productId) {
    for (const SupportedDevice& entry : table) {
        if (entry.vendorId == 0) break;
        if (entry.vendorId == vendorId && entry.productId == productId) return &entry;
    }
    return nullptr;
}

int SupportedDeviceCount(const SupportedDeviceTableType& table) {
    int count = 0;
    for (const SupportedDevice& entry : table) {
        if (entry.vendorId == 0) break;
        ++count;
    }
    return count;
}

}  // namespace veltrano
