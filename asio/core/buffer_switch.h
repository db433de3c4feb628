#pragma once
// Delivering one buffer switch to the host, shared by both streaming
// engines: the time-info path when the host asked for it, the plain one
// otherwise.

#include "asio/core/asio_backend.h"
#include "asio/core/driver_state.h"

namespace veltrano::asio {

// A fresh transport at `nowNs`: no switch yet, position 0, and the
// published pair back to (0, now) before the first switch comes.
void ResetTransport(DriverState& state, int64_t nowNs);

// Counts a switch and publishes samplePosition and systemTime as the pair
// every reader sees until the next switch.
void PublishSwitch(DriverState& state);

// Runs on the streaming thread. PublishSwitch, then the host's callback with
// `half` (0 or 1). The output copy is the back end's business: hosts that
// never call outputReady exist, so a back end copies the host's half once
// the callback returns unless outputReady already did during it.
void DeliverBufferSwitch(DriverState& state, long half);

// Fills `time` for the time-info callback from the reported position and
// time; consumes rateChanged (flags 23 once after a rate change, else 7).
void FillAsioTime(DriverState& state, ASIOTime& time);

}  // namespace veltrano::asio
