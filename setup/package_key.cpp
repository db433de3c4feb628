#include "setup/package_key.h"

#include <vector>

#include "common/contract/registry_key.h"

namespace veltrano::setup {


namespace {

const char* ViewPath(KeyView view) { return view == KeyView::Main ? kPackageKey : kPackageKeyTwin; }

}  // namespace

std::optional<std::string> ReadStringValue(HKEY key, const char* name, DWORD* type) {
    DWORD valueType = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name, nullptr, &valueType, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    if (type) *type = valueType;
    if (valueType != REG_SZ && valueType != REG_EXPAND_SZ) return std::nullopt;
    // The value may change between the two calls; try again when it grew.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::vector<char> buffer(size + 1, '\0');
        DWORD got = size;
        const LONG status =
            RegQueryValueExA(key, name, nullptr, &valueType, reinterpret_cast<BYTE*>(buffer.data()), &got);
        if (status == ERROR_MORE_DATA) {
            size = got;
            continue;
        }
        if (status != ERROR_SUCCESS || (valueType != REG_SZ && valueType != REG_EXPAND_SZ)) {
            return std::nullopt;
        }
        buffer[got < size ? got : size] = '\0';
        return std::string(buffer.data());
    }
    return std::nullopt;
}

bool WritePackageString(const char* name, const std::string& value) {
    for (KeyView view : {KeyView::Main, KeyView::Twin}) {
        RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, ViewPath(view));
        if (key && RegSetValueExA(key.Get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                  static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS) {
            return true;
        }
    }
    return false;
}

std::optional<std::string> ReadPackageString(KeyView view, const char* name) {
    RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, ViewPath(view));
    if (!key) return std::nullopt;
    return ReadStringValue(key.Get(), name);
}

std::optional<std::string> ReadPackageStringEither(const char* name) {
    if (auto value = ReadPackageString(KeyView::Main, name)) return value;
    return ReadPackageString(KeyView::Twin, name);
}

std::optional<DWORD> ReadPackageDwordEither(const char* name) {
    for (KeyView view : {KeyView::Main, KeyView::Twin}) {
        RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, ViewPath(view));
        if (!key) continue;
        if (auto value = key.ReadDword(name)) return *value;
    }
    return std::nullopt;
}

bool WritePackageDword(const char* name, DWORD value) {
    for (KeyView view : {KeyView::Main, KeyView::Twin}) {
        RegistryKey key = RegistryKey::Open(HKEY_LOCAL_MACHINE, ViewPath(view));
        if (key && key.WriteDword(name, value)) return true;
    }
    return false;
}

}  // namespace veltrano::setup
