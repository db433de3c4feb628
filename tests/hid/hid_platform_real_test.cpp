// The same command code over the real platform calls (Wine's setup API and
// hid.dll here): a machine without the device gets nothing, and nothing breaks.

#include <gtest/gtest.h>

#include "asio/core/device_commands.h"
#include "asio/core/hid/hid_device.h"
#include "common/device_table.h"

namespace veltrano::asio::hid {
namespace {

TEST(HidPlatformReal, WithoutTheDeviceNothingIsFoundAndCommandsAreDropped) {
    const SupportedDevice& device = SupportedDeviceTable[0];
    HidConnection connection;
    EXPECT_FALSE(OpenHidDevice(device.vendorId, device.productId, &connection));
    EXPECT_FALSE(connection.sync.IsValid());
    EXPECT_FALSE(connection.overlapped.IsValid());
    EXPECT_EQ(connection.outputReportLength, 0);
    EXPECT_EQ(connection.inputReportLength, 0);
    SendDeviceCommand(device.vendorId, device.productId, DeviceCommand::kDsd64, true);
}

TEST(HidPlatformReal, AMissingConnectionIsInvalidData) {
    SetLastError(0);
    EXPECT_FALSE(OpenHidDevice(0x1209, 0x0001, nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_DATA));
}

}  // namespace
}  // namespace veltrano::asio::hid
