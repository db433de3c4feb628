#pragma once
// The device mode commands the driver object sent, recorded in place of the
// HID channel.

#include <cstdint>
#include <vector>

#include "asio/core/device_commands.h"

namespace veltrano::test {

struct SentCommand {
    uint16_t vendorId;
    uint16_t productId;
    asio::DeviceCommand command;
    bool on;
    bool operator==(const SentCommand&) const = default;
};

std::vector<SentCommand>& SentCommands();

}  // namespace veltrano::test
