// VeltranoHDACPLUI: the control panel program.

#include <windows.h>

#include "cpl/app/app.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    veltrano::cpl::CTarvoACPLUIApp app;
    return app.Run();
}
