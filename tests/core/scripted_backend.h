#pragma once
// A back end that reports a device and a capability table from a script the
// test sets up before creating the driver object, and records what the
// driver object asked of it.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "asio/core/asio_backend.h"
#include "common/rate_table.h"

namespace veltrano::test {

struct BackendScript {
    HRESULT discover = S_OK;
    HRESULT acquire = S_OK;
    ASIOError allocate = ASE_OK;
    ASIOError startThreads = ASE_OK;
    std::string deviceName = "Veltrano-HD";
    uint8_t widthMask = 0x0E;  // 16, 24 and 32 bits
    bool hasInput = true;
    int claimState = 1;
    // Channels per rate-table entry; 0 leaves the rate unsupported.
    std::array<uint32_t, kRateCount> outputChannels{2, 2, 2, 2, 2, 2, 2, 2, 2};
    std::array<uint32_t, kRateCount> inputChannels{2, 2, 2, 2, 2, 2, 2, 2, 2};
    // Rates supported only at these widths (mask); 0 = every width.
    uint32_t widthsForRates = 0;
};

// One line per call, e.g. "Discover", "BuildTable out 24", "StopThreads".
struct BackendLog {
    std::vector<std::string> calls;
    // The driver object's state, as last seen by OnStart.
    asio::DriverState* state = nullptr;
    bool Contains(const std::string& call) const;
    int IndexOf(const std::string& call) const;  // -1 when absent
};

BackendScript& Script();
BackendLog& Log();
// Script and log back to their defaults.
void ResetBackend();

}  // namespace veltrano::test
