#pragma once
// Runs tests/support/test_peer.exe, the second process of cross-process
// tests, from the folder of the running test program.

#include <string>

namespace veltrano::test {

struct PeerResult {
    bool started = false;
    unsigned long exitCode = 0;
    std::string output;  // the peer's standard output
};

// Runs "test_peer.exe <arguments>" and waits for it (at most 30 s).
PeerResult RunPeer(const std::string& arguments);

// Runs any command line, collecting its standard output (and standard
// error when mergeStderr), and waits at most timeoutMs for it to end;
// exitCode is STILL_ACTIVE when it did not.
PeerResult RunProcess(const std::string& commandLine, bool mergeStderr, unsigned long timeoutMs);

// A build path as Windows programs under Wine see it: the host's root is
// drive Z:.
std::string WinePath(std::string hostPath);

}  // namespace veltrano::test
