#include "com_test_support.h"

#include "support/peer_process.h"

#include <vector>

namespace veltrano::test {
namespace {

std::string ProgramFolder() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of("\\/") + 1);
}

template <typename F>
F Entry(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

const ComTestDll& TestDll() {
    static const ComTestDll dll = [] {
        ComTestDll d;
        d.path = ProgramFolder() + "asio_com_test.dll";
        d.module = LoadLibraryA(d.path.c_str());
        if (d.module != nullptr) {
            d.canUnloadNow = Entry<decltype(d.canUnloadNow)>(d.module, "DllCanUnloadNow");
            d.getClassObject = Entry<decltype(d.getClassObject)>(d.module, "DllGetClassObject");
            d.registerServer = Entry<decltype(d.registerServer)>(d.module, "DllRegisterServer");
            d.unregisterServer =
                Entry<decltype(d.unregisterServer)>(d.module, "DllUnregisterServer");
        }
        return d;
    }();
    return dll;
}

std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* name,
                                      bool wide) {
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS) return std::nullopt;
    std::optional<std::string> result;
    DWORD type = 0;
    if (wide) {
        wchar_t text[300] = {};
        DWORD bytes = sizeof(text) - sizeof(wchar_t);
        std::wstring wname = name == nullptr ? L"" : std::wstring(name, name + strlen(name));
        if (RegQueryValueExW(hkey, name == nullptr ? nullptr : wname.c_str(), nullptr, &type,
                             reinterpret_cast<BYTE*>(text), &bytes) == ERROR_SUCCESS &&
            type == REG_SZ) {
            std::string narrow;
            for (const wchar_t* p = text; *p != 0; ++p) narrow.push_back(static_cast<char>(*p));
            result = narrow;
        }
    } else {
        char text[600] = {};
        DWORD bytes = sizeof(text) - 1;
        if (RegQueryValueExA(hkey, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &bytes) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            result = std::string(text);
        }
    }
    RegCloseKey(hkey);
    return result;
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY hkey = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &hkey) != ERROR_SUCCESS) return false;
    RegCloseKey(hkey);
    return true;
}

long RunProcess(const std::string& commandLine) {
    const PeerResult result = RunProcess(commandLine, false, 60000);
    if (!result.started || result.exitCode == STILL_ACTIVE) return -1;
    return static_cast<long>(result.exitCode);
}

}  // namespace veltrano::test
