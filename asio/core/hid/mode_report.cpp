#include "asio/core/hid/mode_report.h"

namespace veltrano::asio::hid {
namespace {

struct CommandBytes {
    uint8_t code;
    uint8_t selector;
    uint8_t argumentOn;
    uint8_t argumentOff;
};

constexpr CommandBytes BytesOf(DeviceCommand command) noexcept {
    switch (command) {
        case DeviceCommand::kDsd64:
            return {0xF5, 0x32, 0x2E, 0x08};
        case DeviceCommand::kDsd128:
            return {0xF6, 0x33, 0x2E, 0x08};
        case DeviceCommand::kDsd256:
            return {0xF7, 0x34, 0x2E, 0x08};
        case DeviceCommand::kDop:
            return {0xF8, 0x35, 0x01, 0x00};
    }
    return {0, 0, 0, 0};
}

constexpr uint8_t kCommandMarker = 0x21;

}  // namespace

ModeReport BuildModeReport(DeviceCommand command, bool on) noexcept {
    const CommandBytes bytes = BytesOf(command);
    ModeReport report{};
    report[1] = bytes.code;
    report[2] = kCommandMarker;
    report[3] = bytes.selector;
    report[4] = on ? bytes.argumentOn : bytes.argumentOff;
    return report;
}

size_t ModeReportWriteLength(uint16_t outputReportLength) noexcept {
    // The HID class driver accepts a write only of exactly the declared
    // output report length, so a longer report cannot be cut to our 64
    // bytes: the write would be refused, or the device would take the
    // zero padding for a different request. A device declaring more is not
    // one we know how to talk to, and one declaring fewer than the command
    // needs would receive half a command; neither is written to.
    if (outputReportLength < kModeCommandSize || outputReportLength > kModeReportSize) return 0;
    return outputReportLength;
}

}  // namespace veltrano::asio::hid
