#include "tools/probe/asio_driver_list.h"

#include <objbase.h>

namespace veltrano::probe {
namespace {

class Key {
public:
    Key(HKEY parent, const char* path) {
        if (RegOpenKeyExA(parent, path, 0, KEY_READ, &m_key) != ERROR_SUCCESS) m_key = nullptr;
    }
    ~Key() {
        if (m_key != nullptr) RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key = nullptr;
};

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
    Key asio(HKEY_LOCAL_MACHINE, "Software\\ASIO");
    if (asio.get() == nullptr) return drivers;
    for (DWORD index = 0;; ++index) {
        char name[256] = {};
        DWORD length = sizeof(name);
        const LONG rc =
            RegEnumKeyExA(asio.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc != ERROR_SUCCESS) continue;
        Key driver(asio.get(), name);
        if (driver.get() == nullptr) continue;
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
