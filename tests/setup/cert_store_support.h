#pragma once
// The local machine's certificate stores (the Wine prefix's) as a fresh
// process sees them.

#include <optional>
#include <string>

namespace veltrano::test {

std::optional<std::string> ReadBinaryFile(const std::string& path);
// Whether LocalMachine\<store> holds a certificate with exactly these bytes;
// the store is opened anew on every call.
bool StoreHoldsCertificate(const char* store, const std::string& encoded);
// Removes such a certificate, committing the store (test clean-up).
void RemoveFromStore(const char* store, const std::string& encoded);

// Polls `condition` every 100 ms for at most timeoutMs.
template <typename Condition>
bool WaitFor(Condition condition, unsigned timeoutMs) {
    for (unsigned waited = 0;; waited += 100) {
        if (condition()) return true;
        if (waited >= timeoutMs) return false;
        Sleep(100);
    }
}

}  // namespace veltrano::test
