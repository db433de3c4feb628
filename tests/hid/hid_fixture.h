#pragma once
// Device mode commands delivered to the virtual device's HID interface.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "asio/core/device_commands.h"
#include "common/device_table.h"
#include "sim/sim.h"

namespace hidtest {

using Report = std::vector<uint8_t>;

class HidTest : public ::testing::Test {
protected:
    void SetUp() override { sim::Reset(); }
    void TearDown() override { sim::Reset(); }

    static uint16_t Vendor() { return veltrano::SupportedDeviceTable[0].vendorId; }
    static uint16_t Product() { return veltrano::SupportedDeviceTable[0].productId; }

    // Sends to the accepted-devices table's first device.
    static void Send(veltrano::asio::DeviceCommand command, bool on) {
        veltrano::asio::SendDeviceCommand(Vendor(), Product(), command, on);
    }

    // A configuration of devices with the given HID settings.
    static sim::Config WithHid(const std::vector<sim::HidConfig>& hids);
};

// The report the device expects: 64 bytes unless the test cuts it.
Report Expected(uint8_t code, uint8_t selector, uint8_t argument, size_t length = 64);

}  // namespace hidtest
