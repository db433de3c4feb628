#pragma once
// The host side of streaming: buffers, the four callbacks, the test signal
// going out, the inputs coming in, and the switch timing.

#include <cstdint>
#include <string>
#include <vector>

#include "asio/core/asio_interface.h"
#include "tools/probe/sample_format.h"
#include "tools/probe/switch_statistics.h"
#include "tools/probe/test_signal.h"

namespace veltrano::probe {

struct StreamPlan {
    IASIO* driver = nullptr;
    double rate = 0;      // the running rate (DSD: the DSD rate)
    long bufferSize = 0;  // frames (DSD: bits) per buffer half
    long outputs = 0;     // output channels to play
    long inputs = 0;      // input channels to record (0: none)
    SampleFormat outputFormat = SampleFormat::Int32;
    SampleFormat inputFormat = SampleFormat::Int32;
    SignalKind signal = SignalKind::Sine;
    double seconds = 1;
    bool timeInfo = true;
    bool outputReady = true;  // false: a host that never calls it
};

struct StreamResult {
    int exitCode = 0;
    std::string error;
    bool outputReadyUsed = false;  // the driver answered outputReady with ASE_OK
    bool timeInfoUsed = false;     // switches came through bufferSwitchTimeInfo
    long resetRequests = 0;
    size_t channelBytes = 0;  // bytes of each played channel
    size_t inputBytes = 0;    // bytes of each recorded channel
    std::vector<std::vector<uint8_t>> played;
    std::vector<std::vector<uint8_t>> recorded;
    SwitchStatistics::Summary stats;
    double secondsPerTick = 0;
    double nominalPeriodSeconds = 0;
};

// createBuffers, start, wait for the planned number of switches, stop,
// disposeBuffers. Any failure leaves the driver with its buffers disposed.
StreamResult RunStream(const StreamPlan& plan);

}  // namespace veltrano::probe
