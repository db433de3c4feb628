// VeltranoHDACPLUI: the control panel program.

#include <windows.h>

#include "cpl/app/app.h"
#include "cpl/app/remote_section.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    veltrano::cpl::UseRemoteControlPage();
    veltrano::cpl::CTarvoACPLUIApp app;
    return app.Run();
}
