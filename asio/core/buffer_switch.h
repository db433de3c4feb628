#pragma once
// Delivering one buffer switch to the host, shared by both streaming
// engines: the time-info path when the host asked for it, the plain one
// otherwise.

#include "asio/core/asio_backend.h"
#include "asio/core/driver_state.h"

namespace veltrano::asio {

// Runs on the streaming thread. Counts the switch, takes the reported
// position and time, and calls the host with `half` (0 or 1). On the
// time-info path the host does not call outputReady, so the output copy is
// performed here through the back end once the callback returns.
void DeliverBufferSwitch(DriverState& state, AsioBackend& backend, long half);

// Fills `time` for the time-info callback from the reported position and
// time; consumes rateChanged (flags 23 once after a rate change, else 7).
void FillAsioTime(DriverState& state, ASIOTime& time);

}  // namespace veltrano::asio
