#pragma once
// An owned registry key handle for the registration code.

#include <windows.h>

namespace veltrano::asio {

class ComRegistryKey {
public:
    ComRegistryKey() = default;
    ~ComRegistryKey() { Reset(); }
    ComRegistryKey(const ComRegistryKey&) = delete;
    ComRegistryKey& operator=(const ComRegistryKey&) = delete;

    // Creates or opens `path` under `parent` with full access.
    LONG Create(HKEY parent, const char* path) {
        Reset();
        return RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                               nullptr, &m_key, nullptr);
    }
    LONG Open(HKEY parent, const char* path, REGSAM access) {
        Reset();
        return RegOpenKeyExA(parent, path, 0, access, &m_key);
    }
    void Reset() {
        if (m_key != nullptr) RegCloseKey(m_key);
        m_key = nullptr;
    }

    HKEY Get() const { return m_key; }
    explicit operator bool() const { return m_key != nullptr; }

private:
    HKEY m_key = nullptr;
};

}  // namespace veltrano::asio
