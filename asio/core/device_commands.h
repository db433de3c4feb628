#pragma once
// The device's mode commands, sent as HID output reports. Each command opens
// the device's HID interface afresh and closes it again; a command that
// cannot be delivered is dropped quietly, since streaming must go on
// regardless.

#include <cstdint>

namespace veltrano::asio {

enum class DeviceCommand {
    kDsd64,   // native DSD at 2822400 Hz
    kDsd128,  // native DSD at 5644800 Hz
    kDsd256,  // native DSD at 11289600 Hz
    kDop,     // DSD-over-PCM markers in the PCM stream
};

// Sends one command to the device with these USB identifiers. Safe to call
// from the host's thread and from the streaming thread.
void SendDeviceCommand(uint16_t vendorId, uint16_t productId, DeviceCommand command, bool on);

}  // namespace veltrano::asio
