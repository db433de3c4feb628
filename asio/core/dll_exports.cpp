// The five entry points of a driver DLL. They live in one object file with
// DllMain, which the runtime's DLL start-up references, so linking the static
// library into a DLL always pulls in all of them for the .def file to export.

#include <windows.h>

#include "asio/core/class_factory.h"
#include "asio/core/com_registration.h"
#include "asio/core/module.h"

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) {
        veltrano::asio::ModuleAttach(instance);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        veltrano::asio::ModuleDetach();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() { return veltrano::asio::CanUnloadNow(); }

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv) {
    return veltrano::asio::GetClassObject(rclsid, riid, ppv);
}

STDAPI DllRegisterServer() {
    return veltrano::asio::RegisterServer(veltrano::asio::ModuleHandle());
}

STDAPI DllUnregisterServer() { return veltrano::asio::UnregisterServer(); }

}  // extern "C"
