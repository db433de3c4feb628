#pragma once
// Registration of a driver module as the "Veltrano-HD" ASIO driver: the
// machine-wide ASIO entry hosts enumerate and the COM class entry they
// create the driver through.

#include <windows.h>

namespace veltrano::asio {

// The body of DllRegisterServer for `module`: S_OK or E_FAIL.
HRESULT RegisterServer(HMODULE module);

// The body of DllUnregisterServer. Always S_OK.
HRESULT UnregisterServer();

}  // namespace veltrano::asio
