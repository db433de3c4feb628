#pragma once
// CTarvoACPLUIApp: start-up of the control panel. One instance per desktop:
// a second start brings the running window forward and ends.

#include <windows.h>

namespace veltrano::cpl {

class CTarvoACPLUIApp {
public:
    // Runs the program; returns its exit code.
    int Run();
};

}  // namespace veltrano::cpl
