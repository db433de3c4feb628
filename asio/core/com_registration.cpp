#include "asio/core/com_registration.h"

#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "common/contract/registry_key.h"

namespace veltrano::asio {
namespace {

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
        const RegistryKey asio = RegistryKey::Create(HKEY_LOCAL_MACHINE, kAsioKey);
        if (!asio) return E_FAIL;
        const RegistryKey driver = RegistryKey::Create(asio.Get(), kDriverKeyName);
        if (!driver) return E_FAIL;
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
    const RegistryKey classKey = RegistryKey::Create(HKEY_CLASSES_ROOT, classPath);
    if (!classKey) return E_FAIL;
    bool inprocWritten = false;
    {
        const RegistryKey inproc = RegistryKey::Create(classKey.Get(), "InprocServer32");
        if (inproc) {
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
        const RegistryKey asio = RegistryKey::Open(HKEY_LOCAL_MACHINE, kAsioKey);
        RegistryKey driver = RegistryKey::Open(asio.Get(), kDriverKeyName);
        if (asio && driver) {
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
            RegDeleteKeyA(asio.Get(), kDriverKeyName);
        }
    }
    const RegistryKey userAsio = RegistryKey::Open(HKEY_CURRENT_USER, kAsioKey);
    if (userAsio) RegDeleteKeyA(userAsio.Get(), kDriverKeyName);
    return S_OK;
}

}  // namespace veltrano::asio
