// A driver DLL and its `_sim` twin made by veltrano_sim_driver_dll: the twin
// reaches the virtual device, configured by its profile, where the original
// reaches the platform.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "asio/core/asio_interface.h"
#include "common/device_table.h"
#include "simdll/simdll_support.h"

namespace simdll {
namespace {

using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

std::string BesideThisProgram(const char* name) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string folder(path, n);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + name;
}

// Creates a driver object from the DLL the way a host does; the result of
// CreateInstance, and the object's getDriverName when it succeeded.
HRESULT CreateDriver(const char* dll, std::string* name) {
    HMODULE module = LoadLibraryA(BesideThisProgram(dll).c_str());
    EXPECT_NE(module, nullptr) << dll;
    if (module == nullptr) return E_UNEXPECTED;
    auto getClassObject = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    const CLSID clsid = {
        0x6a1f0c53, 0x2c11, 0x4d5e, {0x9b, 0x3e, 0x1a, 0x44, 0x52, 0x7d, 0x90, 0x01}};
    IClassFactory* factory = nullptr;
    HRESULT hr = getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    EXPECT_EQ(hr, S_OK);
    if (FAILED(hr)) return hr;
    IASIO* driver = nullptr;
    hr = factory->CreateInstance(nullptr, clsid, reinterpret_cast<void**>(&driver));
    if (SUCCEEDED(hr)) {
        char text[32] = {};
        driver->getDriverName(text);
        *name = text;
        driver->Release();
    }
    factory->Release();
    return hr;
}

TEST(SimDriverDll, TheSimVariantFindsTheProfilesDeviceWhereTheRealOneFindsNone) {
    // The last accepted product ID, so that it differs from the default.
    const int count = veltrano::SupportedDeviceCount(veltrano::SupportedDeviceTable);
    const uint16_t pid = veltrano::SupportedDeviceTable[static_cast<size_t>(count - 1)].productId;
    char text[64];
    snprintf(text, sizeof text, "[device]\nproduct_id = %04x\n", pid);
    const std::string profile = WriteProfile(text);
    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", profile.c_str());

    std::string name;
    EXPECT_EQ(CreateDriver("simdll_seam_driver.dll", &name), E_FAIL);
    ASSERT_EQ(CreateDriver("simdll_seam_driver_sim.dll", &name), S_OK);
    snprintf(text, sizeof text, "pid_%04x", pid);
    EXPECT_EQ(name, text);

    SetEnvironmentVariableA("VELTRANO_SIM_PROFILE", nullptr);
    DeleteFileA(profile.c_str());
}

}  // namespace
}  // namespace simdll
