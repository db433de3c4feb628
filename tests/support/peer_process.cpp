#include "support/peer_process.h"

#include <windows.h>

#include <algorithm>
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

// Appends what the pipe holds now, without waiting for more.
void DrainPipe(HANDLE pipe, std::string* output) {
    char chunk[512];
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        DWORD got = 0;
        if (!ReadFile(pipe, chunk, sizeof(chunk), &got, nullptr) || got == 0) return;
        output->append(chunk, got);
    }
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
        // The limit counts from the start, and the output is taken only as it
        // arrives: reading to the end of the pipe first would wait on any
        // process that inherited it (Wine starts its desktop and services
        // from the first program that needs them, with our pipe as their
        // output), and the wait for the program would start only then.
        const ULONGLONG deadline = GetTickCount64() + timeoutMs;
        bool ended = false;
        for (;;) {
            DrainPipe(readEnd, &result.output);
            if (ended) break;
            const ULONGLONG now = GetTickCount64();
            const DWORD slice = now >= deadline ? 0 : static_cast<DWORD>(std::min<ULONGLONG>(deadline - now, 20));
            ended = WaitForSingleObject(pi.hProcess, slice) == WAIT_OBJECT_0;
            if (!ended && slice == 0) break;
        }
        DWORD code = STILL_ACTIVE;
        if (ended) {
            GetExitCodeProcess(pi.hProcess, &code);
        } else {
            // A program left running would hold what it opened for the
            // next test; the caller sees STILL_ACTIVE and says so.
            TerminateProcess(pi.hProcess, 1);
            WaitForSingleObject(pi.hProcess, 5000);
            result.output += "\n[still running after " + std::to_string(timeoutMs) + " ms, ended]: " + commandLine;
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
