#include "common/device_path.h"

#include <cstring>

namespace veltrano {
namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads exactly `digits` hexadecimal characters at p; false if the text ends
// or a character is not hexadecimal.
bool ReadHex(const char* p, int digits, uint32_t* value) {
    uint32_t v = 0;
    for (int i = 0; i < digits; ++i) {
        const int h = HexValue(p[i]);  // p[i] is only read while p[0..i-1] were non-NUL
        if (h < 0) return false;
        v = (v << 4) | static_cast<uint32_t>(h);
    }
    *value = v;
    return true;
}

}  // namespace

bool ParseDevicePath(const char* path, DevicePathIds* ids) {
    if (path == nullptr || ids == nullptr) return false;
    char upper[kMaxDevicePath];
    size_t n = 0;
    for (; n < kMaxDevicePath - 1 && path[n] != '\0'; ++n) {
        const char c = path[n];
        upper[n] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    upper[n] = '\0';

    const char* vid = std::strstr(upper, "VID_");
    const char* pid = std::strstr(upper, "PID_");
    const char* mi = std::strstr(upper, "MI_");
    if (vid == nullptr || pid == nullptr || mi == nullptr) return false;

    uint32_t vendor = 0;
    uint32_t product = 0;
    if (!ReadHex(vid + 4, 4, &vendor) || !ReadHex(pid + 4, 4, &product)) return false;

    uint32_t iface = 0;
    ids->vendorId = static_cast<uint16_t>(vendor);
    ids->productId = static_cast<uint16_t>(product);
    ids->interfaceNumber = ReadHex(mi + 3, 2, &iface) ? static_cast<int>(iface) : -1;
    return true;
}

const SupportedDevice* MatchDevicePath(const char* path, const SupportedDeviceTableType& table) {
    DevicePathIds ids;
    if (!ParseDevicePath(path, &ids)) return nullptr;
    return FindSupportedDevice(table, ids.vendorId, ids.productId);
}

bool MatchDevicePathPair(const char* path, uint16_t vendorId, uint16_t productId) {
    DevicePathIds ids;
    return ParseDevicePath(path, &ids) && ids.vendorId == vendorId && ids.productId == productId;
}

}  // namespace veltrano
