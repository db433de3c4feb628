#pragma once
// The probe's command line.

#include <string>

#include "tools/probe/test_signal.h"

namespace veltrano::probe {

struct ProbeOptions {
    bool help = false;
    bool list = false;       // list the registered drivers and stop
    bool queryOnly = false;  // no streaming
    bool controlPanel = false;  // after init, call controlPanel and stop
    std::string driver;      // key name under Software\ASIO; empty: the first one
    double rate = 0;         // 0: the driver's current rate
    int bits = 0;            // expected sample width; 0: whatever the driver plays
    long bufferSize = 0;     // 0: the driver's preferred size
    double seconds = 2.0;
    SignalKind signal = SignalKind::Sine;
    std::string playedWav = "probe-played.wav";
    std::string recordWav;  // empty: inputs not recorded
    bool timeInfo = true;   // offer bufferSwitchTimeInfo to the driver
    bool outputReady = true;  // call outputReady after filling each output half
};

struct ParsedOptions {
    bool ok = false;
    std::string error;
    ProbeOptions options;
};

ParsedOptions ParseProbeOptions(int argc, const char* const* argv);

const char* ProbeUsage();

// Exit codes, one per kind of failure.
enum ProbeExit : int {
    kExitOk = 0,
    kExitUsage = 1,
    kExitNoDriver = 2,
    kExitCreateFailed = 3,
    kExitInitFailed = 4,
    kExitSetupFailed = 5,  // rate, format or width refused
    kExitBuffersRefused = 6,
    kExitStreamFailed = 7,
    kExitFileFailed = 8,
};

}  // namespace veltrano::probe
