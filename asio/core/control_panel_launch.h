#pragma once
// The driver's controlPanel operation: bring the running control panel to the
// front through the status block, or start the program when none runs.

#include <windows.h>

#include <cstdint>

namespace veltrano::asio {

inline constexpr char kControlPanelTitle[] = "Veltrano-HD Audio Control Panel";
inline constexpr char kControlPanelProgram[] = "VeltranoHDACPLUI.exe";

// The two status-block fields the launch writes. Both null when the block is
// absent or its magic is wrong; the caller decides that.
struct PanelRequestFields {
    volatile uint32_t* changed = nullptr;
    volatile uint32_t* showPanelRequest = nullptr;
};

// Never fails towards the host: every failure ends the launch quietly.
void LaunchControlPanel(PanelRequestFields fields);

}  // namespace veltrano::asio
