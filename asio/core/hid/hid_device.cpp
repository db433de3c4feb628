#include "asio/core/hid/hid_device.h"

#include <cstddef>
#include <memory>
#include <new>

namespace veltrano::asio::hid {
namespace {

// Device paths are bounded by the kernel's 32767-character names; a larger
// size from the setup API is not a path.
constexpr DWORD kMaxDetailSize = 0x10000;

struct Caps {
    uint16_t input = 0;
    uint16_t output = 0;
};

// The interface's detail, its path zero-terminated, or null: the search ends
// there.
std::unique_ptr<char[]> ReadInterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data) noexcept {
    DWORD required = 0;
    if (platform::SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr) ||
        GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
        return nullptr;
    }
    if (required <= offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) ||
        required > kMaxDetailSize) {
        return nullptr;
    }
    // The detail structure's declared size can exceed a short path's need.
    const DWORD size = required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                           ? sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)
                           : required;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[size]());
    if (!buffer) return nullptr;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!platform::SetupDiGetDeviceInterfaceDetailA(set, data, detail, size, nullptr, nullptr)) {
        return nullptr;
    }
    buffer[size - 1] = '\0';
    return buffer;
}

const char* PathIn(const std::unique_ptr<char[]>& detail) noexcept {
    return detail.get() + offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
}

// Whether the opened interface is the device's, with its report lengths.
bool ReadMatchingCaps(HANDLE file, uint16_t vendorId, uint16_t productId, Caps* caps) noexcept {
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof attributes;
    if (!platform::HidD_GetAttributes(file, &attributes)) return false;
    if (attributes.VendorID != vendorId || attributes.ProductID != productId) return false;
    UniquePreparsedData preparsed;
    if (!platform::HidD_GetPreparsedData(file, preparsed.Receive())) return false;
    HIDP_CAPS hidCaps{};
    if (platform::HidP_GetCaps(preparsed.get(), &hidCaps) != HIDP_STATUS_SUCCESS) return false;
    caps->input = hidCaps.InputReportByteLength;
    caps->output = hidCaps.OutputReportByteLength;
    return true;
}

UniqueFile OpenPath(const char* path, DWORD flags) noexcept {
    return UniqueFile(platform::CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            OPEN_EXISTING, flags, nullptr));
}

}  // namespace

bool OpenHidDevice(uint16_t vendorId, uint16_t productId, HidConnection* connection) noexcept {
    if (connection == nullptr) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    *connection = HidConnection{};
    GUID hidClass{};
    platform::HidD_GetHidGuid(&hidClass);
    UniqueDeviceInfo set(platform::SetupDiGetClassDevsA(&hidClass, nullptr, nullptr,
                                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!set.IsValid()) return false;

    for (DWORD index = 0; index < kMaxHidInterfaces; ++index) {
        SP_DEVICE_INTERFACE_DATA data{};
        data.cbSize = sizeof data;
        if (!platform::SetupDiEnumDeviceInterfaces(set.get(), nullptr, &hidClass, index, &data)) {
            if (GetLastError() == ERROR_NO_MORE_ITEMS) break;
            continue;
        }
        const std::unique_ptr<char[]> detail = ReadInterfacePath(set.get(), &data);
        if (!detail) break;
        UniqueFile sync = OpenPath(PathIn(detail), 0);
        if (!sync.IsValid()) continue;
        Caps caps;
        if (!ReadMatchingCaps(sync.get(), vendorId, productId, &caps)) continue;
        UniqueFile overlapped = OpenPath(PathIn(detail), FILE_FLAG_OVERLAPPED);
        if (!overlapped.IsValid()) continue;
        connection->sync = std::move(sync);
        connection->overlapped = std::move(overlapped);
        connection->inputReportLength = caps.input;
        connection->outputReportLength = caps.output;
        return true;
    }
    return false;
}

}  // namespace veltrano::asio::hid
