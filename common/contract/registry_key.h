#pragma once
// An owned registry key handle.

#include <windows.h>

#include <cstdint>
#include <optional>

#include "common/win_owners.h"

namespace veltrano {

// "Software\ASIO" holds the driver registration under HKEY_LOCAL_MACHINE and
// the user's settings under HKEY_CURRENT_USER, both in the subkey
// "Veltrano-HD".
inline constexpr char kAsioKey[] = "Software\\ASIO";
inline constexpr char kDriverKeyName[] = "Veltrano-HD";

class RegistryKey {
public:
    RegistryKey() = default;

    static RegistryKey Open(HKEY parent, const char* path, REGSAM access = KEY_ALL_ACCESS);
    static RegistryKey Create(HKEY parent, const char* path);

    explicit operator bool() const { return m_key.IsValid(); }
    HKEY Get() const { return m_key.get(); }
    void Reset() { m_key.Reset(); }

    // The value's first four bytes, whatever its declared type; nothing when
    // the value is missing or shorter or longer than four bytes.
    std::optional<uint32_t> ReadDword(const char* name) const;
    bool WriteDword(const char* name, uint32_t value) const;
    // A string value cut to `size` bytes including the terminator.
    bool ReadString(const char* name, char* out, DWORD size) const;

private:
    explicit RegistryKey(HKEY key) : m_key(key) {}
    UniqueResource<RegistryKeyTraits> m_key;
};

}  // namespace veltrano
