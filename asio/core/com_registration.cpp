#include "asio/core/com_registration.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "asio/core/com_registry_key.h"

namespace veltrano::asio {
namespace {

constexpr char kAsioRoot[] = "Software\\ASIO";
constexpr char kAsioDriverKey[] = "Software\\ASIO\\Veltrano-HD";
constexpr DWORD kPathChars = 260;

LONG SetString(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

// "CLSID\{...}" for the class entry under HKEY_CLASSES_ROOT.
void ClassKeyPath(const wchar_t* braced, char* out, size_t size) {
    std::snprintf(out, size, "CLSID\\%ls", braced);
}

}  // namespace

HRESULT RegisterServer(HMODULE module) {
    char path[kPathChars] = {};
    const DWORD length = GetModuleFileNameA(module, path, kPathChars);
    // A full buffer means the path was cut; registering a wrong path would
    // leave hosts a driver entry that cannot load.
    if (length == 0 || length >= kPathChars) return E_FAIL;

    GUID clsid{};
    if (FAILED(CoCreateGuid(&clsid))) return E_FAIL;
    wchar_t braced[40] = {};
    if (StringFromGUID2(clsid, braced, 40) == 0) return E_FAIL;

    {
        ComRegistryKey asio;
        if (asio.Create(HKEY_LOCAL_MACHINE, kAsioRoot) != ERROR_SUCCESS) return E_FAIL;
        ComRegistryKey driver;
        if (driver.Create(asio.Get(), kAsioDriverKeyName) != ERROR_SUCCESS) return E_FAIL;
        // Hosts read "CLSID" as a wide string.
        const DWORD clsidBytes = static_cast<DWORD>((std::wcslen(braced) + 1) * sizeof(wchar_t));
        if (RegSetValueExW(driver.Get(), L"CLSID", 0, REG_SZ, reinterpret_cast<const BYTE*>(braced),
                           clsidBytes) != ERROR_SUCCESS ||
            SetString(driver.Get(), "Driver", path) != ERROR_SUCCESS) {
            return E_FAIL;
        }
    }

    char classPath[64] = {};
    ClassKeyPath(braced, classPath, sizeof(classPath));
    ComRegistryKey classKey;
    if (classKey.Create(HKEY_CLASSES_ROOT, classPath) != ERROR_SUCCESS) return E_FAIL;
    bool inprocWritten = false;
    {
        ComRegistryKey inproc;
        if (inproc.Create(classKey.Get(), "InprocServer32") == ERROR_SUCCESS) {
            inprocWritten = SetString(inproc.Get(), nullptr, path) == ERROR_SUCCESS &&
                            SetString(inproc.Get(), "ThreadingModel", "Apartment") == ERROR_SUCCESS;
        }
    }
    const bool nameWritten =
        SetString(classKey.Get(), "FriendlyName", "Veltrano-HD") == ERROR_SUCCESS;
    return inprocWritten && nameWritten ? S_OK : E_FAIL;
}

HRESULT UnregisterServer() {
    {
        ComRegistryKey asio;
        ComRegistryKey driver;
        if (asio.Open(HKEY_LOCAL_MACHINE, kAsioRoot, KEY_ALL_ACCESS) == ERROR_SUCCESS &&
            driver.Open(asio.Get(), kAsioDriverKeyName, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
            wchar_t text[kPathChars] = {};
            DWORD type = 0;
            DWORD bytes = sizeof(text) - sizeof(wchar_t);  // room for a terminator it may lack
            CLSID clsid{};
            if (RegQueryValueExW(driver.Get(), L"CLSID", nullptr, &type,
                                 reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS &&
                type == REG_SZ && SUCCEEDED(CLSIDFromString(text, &clsid))) {
                // Rebuilt from the parsed identifier, so a hostile value can
                // never name another key to delete.
                wchar_t braced[40] = {};
                if (StringFromGUID2(clsid, braced, 40) != 0) {
                    char classPath[64] = {};
                    ClassKeyPath(braced, classPath, sizeof(classPath));
                    char inprocPath[96] = {};
                    std::snprintf(inprocPath, sizeof(inprocPath), "%s\\InprocServer32", classPath);
                    RegDeleteKeyA(HKEY_CLASSES_ROOT, inprocPath);
                    RegDeleteKeyA(HKEY_CLASSES_ROOT, classPath);
                }
            }
            driver.Reset();
            RegDeleteKeyA(asio.Get(), kAsioDriverKeyName);
        }
    }
    ComRegistryKey userAsio;
    if (userAsio.Open(HKEY_CURRENT_USER, kAsioRoot, KEY_ALL_ACCESS) == ERROR_SUCCESS) {
        RegDeleteKeyA(userAsio.Get(), kAsioDriverKeyName);
    }
    return S_OK;
}

}  // namespace veltrano::asio
