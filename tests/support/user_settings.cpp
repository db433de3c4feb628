#include "support/user_settings.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace veltrano::test {
namespace {

constexpr char kKeyPath[] = "Software\\ASIO\\Veltrano-HD";

}  // namespace

void WriteSetting(const char* name, uint32_t value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const DWORD v = value;
    EXPECT_EQ(RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), 4),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

std::optional<uint32_t> ReadSetting(const char* name) {
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegGetValueA(HKEY_CURRENT_USER, kKeyPath, name, RRF_RT_REG_DWORD, nullptr, &value, &size) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

void DeleteSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, kKeyPath); }

bool SettingsKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

}  // namespace veltrano::test
