#include "common/contract/registry_key.h"

namespace veltrano {

RegistryKey RegistryKey::Open(HKEY parent, const char* path, REGSAM access) {
    HKEY key = nullptr;
    if (parent == nullptr || RegOpenKeyExA(parent, path, 0, access, &key) != ERROR_SUCCESS) {
        return RegistryKey();
    }
    return RegistryKey(key);
}

RegistryKey RegistryKey::Create(HKEY parent, const char* path) {
    HKEY key = nullptr;
    if (parent == nullptr ||
        RegCreateKeyExA(parent, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS) {
        return RegistryKey();
    }
    return RegistryKey(key);
}

std::optional<uint32_t> RegistryKey::ReadDword(const char* name) const {
    if (!m_key) return std::nullopt;
    uint32_t value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(m_key.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

bool RegistryKey::WriteDword(const char* name, uint32_t value) const {
    if (!m_key) return false;
    const DWORD v = value;
    return RegSetValueExA(m_key.get(), name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v),
                          sizeof(v)) == ERROR_SUCCESS;
}

bool RegistryKey::ReadString(const char* name, char* out, DWORD size) const {
    if (!m_key || out == nullptr || size == 0) return false;
    DWORD type = 0;
    DWORD bytes = size - 1;
    if (RegQueryValueExA(m_key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(out), &bytes) !=
            ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        out[0] = '\0';
        return false;
    }
    // The stored string need not carry its terminator.
    out[bytes < size ? bytes : size - 1] = '\0';
    return true;
}

}  // namespace veltrano
