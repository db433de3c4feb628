#pragma once
// The remote-control page plugged into the main window's section building.

namespace veltrano::cpl {

// Makes the main window build the remote-control page where its switch and
// the device allow it.
void UseRemoteControlPage();

}  // namespace veltrano::cpl
