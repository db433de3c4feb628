#pragma once
// The user's driver settings under HKCU "Software\ASIO\Veltrano-HD", read
// and written the way the control panel or a previous session leaves them.

#include <cstdint>
#include <optional>

namespace veltrano::test {

void WriteSetting(const char* name, uint32_t value);
std::optional<uint32_t> ReadSetting(const char* name);
void DeleteSettings();
bool SettingsKeyExists();

}  // namespace veltrano::test
