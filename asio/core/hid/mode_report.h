#pragma once
// The HID output report that carries a device mode command. No platform calls,
// so it builds and is tested natively as well.

#include <array>
#include <cstddef>
#include <cstdint>

#include "asio/core/device_commands.h"

namespace veltrano::asio::hid {

// The report buffer: report ID 0, then the command. Every byte after the
// command is zero.
inline constexpr size_t kModeReportSize = 64;
// Report ID, code, 0x21, selector, argument.
inline constexpr size_t kModeCommandSize = 5;

using ModeReport = std::array<uint8_t, kModeReportSize>;

ModeReport BuildModeReport(DeviceCommand command, bool on) noexcept;

// How many report bytes to write to a device whose capabilities declare this
// output report length; 0 means the command is not written at all.
size_t ModeReportWriteLength(uint16_t outputReportLength) noexcept;

}  // namespace veltrano::asio::hid
