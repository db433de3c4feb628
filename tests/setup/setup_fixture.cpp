#include "setup/setup_fixture.h"

#include <fstream>
#include <sstream>

#include "setup/system_steps.h"

namespace veltrano::test {

using setup::KeyView;

namespace {

const char* ViewPath(KeyView view) { return view == KeyView::Main ? setup::kPackageKey : setup::kPackageKeyTwin; }

HKEY CreateView(KeyView view) {
    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_LOCAL_MACHINE, ViewPath(view), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

}  // namespace

void CleanSetupRegistry::Clean() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, setup::kPackageKey);
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, setup::kPackageKeyTwin);
    HKEY run = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup::kRunKey, 0, KEY_ALL_ACCESS, &run) == ERROR_SUCCESS) {
        RegDeleteValueA(run, kRunValueName);
        RegCloseKey(run);
    }
}

void SetPackageString(KeyView view, const char* name, const std::string& value) {
    HKEY key = CreateView(view);
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
}

void SetPackageDword(KeyView view, const char* name, DWORD value) {
    HKEY key = CreateView(view);
    RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
}

std::optional<DWORD> PackageDword(KeyView view, const char* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    DWORD type = 0;
    if (RegGetValueA(HKEY_LOCAL_MACHINE, ViewPath(view), name, RRF_RT_ANY, &type, &value, &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

std::string MakePackageFolder(const std::string& name) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    std::string folder = std::string(temp) + name + "-" + std::to_string(GetCurrentProcessId()) + "\\";
    RemoveFolder(folder);
    // Every level, since the name may hold backslashes.
    for (size_t i = std::string(temp).size(); i < folder.size(); ++i) {
        if (folder[i] == '\\') CreateDirectoryA(folder.substr(0, i).c_str(), nullptr);
    }
    return folder;
}

void RemoveFolder(const std::string& folder) {
    // Only a folder this fixture made: under the temporary folder, never an
    // empty or relative path (which would name the current folder).
    char temp[MAX_PATH] = {};
    const DWORD n = GetTempPathA(MAX_PATH, temp);
    if (n == 0 || folder.size() <= n || folder.compare(0, n, temp) != 0 || folder.back() != '\\') return;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveFolder(folder + name + "\\");
            } else {
                DeleteFileA((folder + name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
    return static_cast<bool>(out);
}

std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> RegString(HKEY root, const std::string& key, const char* name, REGSAM view) {
    char buffer[1024] = {};
    DWORD size = sizeof buffer - 1;
    DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND | (view == KEY_WOW64_32KEY ? RRF_SUBKEY_WOW6432KEY
                                   : view == KEY_WOW64_64KEY ? RRF_SUBKEY_WOW6464KEY
                                                             : 0);
    if (RegGetValueA(root, key.c_str(), name, flags, nullptr, buffer, &size) != ERROR_SUCCESS) return std::nullopt;
    return std::string(buffer);
}

long RunAndWait(const std::string& commandLine, unsigned long timeoutMs) {
    std::string line = commandLine;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    DWORD code = STILL_ACTIVE;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<long>(code);
}

bool ThirtyTwoBitUnderWow64() {
#if defined(_WIN64)
    return false;
#else
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

OsVersionFacts WindowsXp() { return {2, 5, 1, 2600, 1, 0}; }
OsVersionFacts Windows7(bool x64) { return {2, 6, 1, 7601, 1, static_cast<uint16_t>(x64 ? 9 : 0)}; }
OsVersionFacts Windows10(uint32_t build, bool server) {
    return {2, 10, 0, build, static_cast<uint8_t>(server ? 3 : 1), 9};
}
OsVersionFacts Windows2000() { return {2, 5, 0, 2195, 1, 0}; }

}  // namespace veltrano::test
