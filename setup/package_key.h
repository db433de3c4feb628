#pragma once
// The package key the package's setup program fills, read from its 64-bit
// place first and from the Wow6432Node twin (where a 32-bit setup program's
// writes land) when the first cannot be opened or lacks the value.

#include <windows.h>

#include <optional>
#include <string>

namespace veltrano::setup {

inline constexpr char kPackageKey[] = "SOFTWARE\\Veltrano\\Veltrano-HD";
inline constexpr char kPackageKeyTwin[] = "SOFTWARE\\Wow6432Node\\Veltrano\\Veltrano-HD";

enum class KeyView { Main, Twin };

// A string value of one view: REG_SZ or REG_EXPAND_SZ (not expanded), up to
// its first NUL, whatever its length. Nothing when the key or value is
// missing or the value is not a string.
std::optional<std::string> ReadPackageString(KeyView view, const char* name);
// The first view that has it.
std::optional<std::string> ReadPackageStringEither(const char* name);
std::optional<DWORD> ReadPackageDwordEither(const char* name);

// Sets a REG_DWORD in the main view, else in the twin. False when neither
// could be written.
bool WritePackageDword(const char* name, DWORD value);
bool WritePackageString(const char* name, const std::string& value);

// Any string value, read whole (as ReadPackageString) from an open key;
// `type` receives the value's registry type.
std::optional<std::string> ReadStringValue(HKEY key, const char* name, DWORD* type = nullptr);

}  // namespace veltrano::setup
