#pragma once
// Runs tests/support/test_peer.exe, the second process of cross-process
// tests, from the folder of the running test program.

#include <windows.h>

#include <string>

namespace veltrano::test {

// The exit code of a program that never started: never 0, so a test that
// checks only the exit code fails when the program did not run at all.
inline constexpr unsigned long kNeverStarted = 0xFFFFFFFFul;

struct PeerResult {
    bool started = false;
    unsigned long exitCode = kNeverStarted;
    std::string output;  // the program's standard output, or why it did not start
};

// Runs "test_peer.exe <arguments>" and waits for it (at most 30 s).
PeerResult RunPeer(const std::string& arguments);

// Runs any command line, collecting its standard output (and standard
// error when mergeStderr), and waits at most timeoutMs for it to end;
// exitCode is STILL_ACTIVE when it did not.
PeerResult RunProcess(const std::string& commandLine, bool mergeStderr, unsigned long timeoutMs);

// Why this program cannot start other programs here, or nothing when it
// can. Where the kernel cannot start i386 programs and qemu-i386 cannot be
// registered for them, a 32-bit program runs as qemu's own and cannot start
// another; scripts/wine-env then says why in VELTRANO_WINE32_NO_CHILDREN.
// thirtyTwoBitChild: a 64-bit program about to start a 32-bit one.
inline std::string WhyNoChildProcesses(bool thirtyTwoBitChild = false) {
    const bool thisIs32Bit = sizeof(void*) == 4;
    if (!thisIs32Bit && !thirtyTwoBitChild) return {};
    char why[512] = {};
    const DWORD n = GetEnvironmentVariableA("VELTRANO_WINE32_NO_CHILDREN", why, sizeof why);
    return n > 0 && n < sizeof why ? std::string(why, n) : std::string();
}

// A test that needs a second program skips, with the reason, where none can
// start; everywhere else it runs.
#define VELTRANO_SKIP_WITHOUT_CHILD_PROCESSES(...)                                     \
    if (const std::string why = ::veltrano::test::WhyNoChildProcesses(__VA_ARGS__); \
        !why.empty())                                                                \
    GTEST_SKIP() << why

// True where scripts/test found that 32-bit programs run on this machine
// (natively or emulated): a check that needs them must then fail, not skip.
inline bool ThirtyTwoBitProgramsRunHere() {
    char value[8] = {};
    return GetEnvironmentVariableA("VELTRANO_32BIT_RUNS", value, sizeof value) == 1 && value[0] == '1';
}

// Skips a check that needs 32-bit programs, with the reason, where they
// cannot run; where they run, the same reason is a failure.
#define VELTRANO_SKIP_ONLY_WITHOUT_32BIT(why)                                          \
    if (::veltrano::test::ThirtyTwoBitProgramsRunHere())                               \
        GTEST_FAIL() << why << " (yet 32-bit programs run on this machine)";          \
    else                                                                               \
        GTEST_SKIP() << why

// A build path as Windows programs under Wine see it: the host's root is
// drive Z:.
std::string WinePath(std::string hostPath);

}  // namespace veltrano::test
