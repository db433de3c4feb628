#pragma once
// Brings up the control panel program for a host's control-panel button.

namespace veltrano::asio {

class StatusBlock;

inline constexpr char kControlPanelTitle[] = "Veltrano-HD Audio Control Panel";
inline constexpr char kControlPanelProgram[] = "VeltranoHDACPLUI.exe";

// A running panel is asked through the block to come forward; otherwise the
// program is started from the folder in the settings value "ASIOCPL".
// Every failure is quiet.
void LaunchControlPanel(StatusBlock& block);

}  // namespace veltrano::asio
