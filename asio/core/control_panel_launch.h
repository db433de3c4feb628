#pragma once
// The driver's controlPanel operation: bring the running control panel to the
// front through the status block, or start the program when none runs.

#include <windows.h>

#include "common/contract/panel_window.h"

namespace veltrano::asio {

// Never fails towards the host: every failure ends the launch quietly.
void LaunchControlPanel(PanelRequestFields fields);

}  // namespace veltrano::asio
