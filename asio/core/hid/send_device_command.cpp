#include "asio/core/device_commands.h"
#include "asio/core/hid/hid_device.h"
#include "asio/core/hid/mode_report.h"

namespace veltrano::asio {

void SendDeviceCommand(uint16_t vendorId, uint16_t productId, DeviceCommand command, bool on) {
    hid::HidConnection connection;
    if (!hid::OpenHidDevice(vendorId, productId, &connection)) return;
    if (!connection.sync.IsValid()) return;
    const size_t length = hid::ModeReportWriteLength(connection.outputReportLength);
    if (length == 0) return;
    const hid::ModeReport report = hid::BuildModeReport(command, on);
    DWORD written = 0;
    // Synchronous: the report is on its way to the device before the
    // connection closes. A refused write is dropped like any other failure.
    platform::WriteFile(connection.sync.Get(), report.data(), static_cast<DWORD>(length), &written,
                        nullptr);
}

}  // namespace veltrano::asio
