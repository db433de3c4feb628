#include "tools/probe/asio_driver_list.h"

#include <objbase.h>

#include "common/win_owners.h"

namespace veltrano::probe {
namespace {

using Key = UniqueResource<RegistryKeyTraits>;

// The key opened for reading, or an empty owner.
Key OpenForReading(HKEY parent, const char* path) {
    HKEY key = nullptr;
    return Key(RegOpenKeyExA(parent, path, 0, KEY_READ, &key) == ERROR_SUCCESS ? key : nullptr);
}

// Drivers write "CLSID" as a wide or a narrow string; the wide read converts
// either.
std::wstring ReadWide(HKEY key, const wchar_t* name) {
    wchar_t text[260] = {};
    DWORD bytes = sizeof(text) - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return text;
}

std::string ReadNarrow(HKEY key, const char* name) {
    char text[260] = {};
    DWORD bytes = sizeof(text) - 1;
    DWORD type = 0;
    if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    return text;
}

}  // namespace

std::vector<AsioDriverEntry> ListAsioDrivers() {
    std::vector<AsioDriverEntry> drivers;
    const Key asio = OpenForReading(HKEY_LOCAL_MACHINE, "Software\\ASIO");
    if (!asio) return drivers;
    for (DWORD index = 0;; ++index) {
        char name[256] = {};
        DWORD length = sizeof(name);
        const LONG rc =
            RegEnumKeyExA(asio.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        const Key driver = OpenForReading(asio.get(), name);
        if (!driver) continue;
        AsioDriverEntry entry;
        entry.name = name;
        const std::wstring clsid = ReadWide(driver.get(), L"CLSID");
        for (wchar_t c : clsid) entry.clsidText.push_back(c < 128 ? static_cast<char>(c) : '?');
        entry.clsidValid =
            !clsid.empty() && SUCCEEDED(CLSIDFromString(clsid.c_str(), &entry.clsid));
        entry.description = ReadNarrow(driver.get(), "Description");
        drivers.push_back(entry);
    }
    return drivers;
}

}  // namespace veltrano::probe
