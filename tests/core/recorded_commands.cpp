#include "recorded_commands.h"

namespace veltrano::test {

std::vector<SentCommand>& SentCommands() {
    static std::vector<SentCommand> commands;
    return commands;
}

}  // namespace veltrano::test

namespace veltrano::asio {

void SendDeviceCommand(uint16_t vendorId, uint16_t productId, DeviceCommand command, bool on) {
    test::SentCommands().push_back({vendorId, productId, command, on});
}

}  // namespace veltrano::asio
