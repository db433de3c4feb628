#pragma once
// The system's own implementations of the co-installer seams.

#include <memory>

#include "platform/setup/setup_seams.h"

namespace platform::setup {

std::unique_ptr<CommandRunner> MakeRealCommandRunner();
std::unique_ptr<RestartControl> MakeRealRestartControl();
std::unique_ptr<DeviceSetup> MakeRealDeviceSetup();

}  // namespace platform::setup
