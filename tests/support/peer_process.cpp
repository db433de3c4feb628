#include "support/peer_process.h"

#include <windows.h>

#include <string>
#include <vector>

namespace veltrano::test {
namespace {

std::string PeerPath() {
    char path[MAX_PATH] = {};
    const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    const size_t slash = dir.find_last_of("\\/");
    dir = slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
    return dir + "test_peer.exe";
}

}  // namespace

PeerResult RunProcess(const std::string& commandLine, bool mergeStderr, unsigned long timeoutMs) {
    PeerResult result;
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) {
        result.output = "CreatePipe failed, error " + std::to_string(GetLastError());
        return result;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    std::vector<char> buffer(commandLine.begin(), commandLine.end());
    buffer.push_back('\0');

    STARTUPINFOA si{};
    si.cb = sizeof(si);
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = mergeStderr ? writeEnd : GetStdHandle(STD_ERROR_HANDLE);
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    const BOOL created = CreateProcessA(nullptr, buffer.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &si, &pi);
    const DWORD startError = created ? 0 : GetLastError();
    CloseHandle(writeEnd);
    if (!created) {
        result.output = "CreateProcessA failed, error " + std::to_string(startError) + ": " + commandLine;
    } else {
        result.started = true;
        char chunk[512];
        DWORD got = 0;
        while (ReadFile(readEnd, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
            result.output.append(chunk, got);
        }
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            GetExitCodeProcess(pi.hProcess, &code);
        }
        result.exitCode = code;
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return result;
}

std::string WinePath(std::string hostPath) {
    for (char& c : hostPath) {
        if (c == '/') c = '\\';
    }
    return hostPath.size() > 1 && hostPath[1] == ':' ? hostPath : "Z:" + hostPath;
}

PeerResult RunPeer(const std::string& arguments) {
    return RunProcess("\"" + PeerPath() + "\" " + arguments, false, 30000);
}

}  // namespace veltrano::test
