#pragma once
// The test DLL's entry points reached the way regsvr32 and COM reach them,
// plus registry readers for checking what registration wrote.

#include <windows.h>

#include <optional>
#include <string>

namespace veltrano::test {

// The test driver DLL beside the running test program, loaded for the whole
// test program and never unloaded (COM may hold it too).
struct ComTestDll {
    std::string path;
    HMODULE module = nullptr;
    HRESULT(STDAPICALLTYPE* canUnloadNow)() = nullptr;
    HRESULT(STDAPICALLTYPE* getClassObject)(REFCLSID, REFIID, void**) = nullptr;
    HRESULT(STDAPICALLTYPE* registerServer)() = nullptr;
    HRESULT(STDAPICALLTYPE* unregisterServer)() = nullptr;
};
const ComTestDll& TestDll();

// A REG_SZ value read as ANSI (or as UTF-16 when `wide`); nullopt when absent
// or not a string.
std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* name,
                                      bool wide = false);
bool KeyExists(HKEY root, const std::string& key);

// Runs a command line to completion (at most 60 s); the exit code, or -1.
long RunProcess(const std::string& commandLine);

// Sets or clears an environment variable for the rest of a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name) {
        SetEnvironmentVariableA(name, value);
    }
    ~ScopedEnv() { SetEnvironmentVariableA(m_name, nullptr); }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
};

}  // namespace veltrano::test
