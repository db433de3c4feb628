#pragma once
// The `_sim` programs' control channel: a named pipe through which a test
// or script in another process acts on the virtual device inside the
// program, as the user or another program would act on the real one.
// One request per connection, one text line each way; see README.md.

#include <string>

namespace sim {

// "\\.\pipe\VeltranoHD-sim-control", or the name in VELTRANO_SIM_CONTROL.
std::string ControlPipeName();

// Starts the server thread once; later calls do nothing.
void StartControlChannel();

// Carries out one request line and returns the reply line ("ok ..." or
// "error ..."). Also what the pipe thread runs.
std::string HandleControlRequest(const std::string& request);

}  // namespace sim
