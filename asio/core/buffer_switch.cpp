#include "asio/core/buffer_switch.h"

#include <windows.h>

namespace veltrano::asio {
namespace {

template <typename Pair>
void Split(int64_t value, Pair& out) {
    const auto v = static_cast<uint64_t>(value);
    out.hi = static_cast<unsigned long>(v >> 32);
    out.lo = static_cast<unsigned long>(v & 0xFFFFFFFFu);
}

}  // namespace

void FillAsioTime(DriverState& state, ASIOTime& time) {
    time = ASIOTime{};
    time.timeInfo.speed = 1.0;
    Split(state.reportedTime, time.timeInfo.systemTime);
    Split(state.reportedPosition, time.timeInfo.samplePosition);
    time.timeInfo.sampleRate = static_cast<double>(state.pcmRate);
    time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
    // The host learns of a rate change once, with the first switch after it.
    if (InterlockedExchange(&state.rateChanged, 0) != 0) {
        time.timeInfo.flags |= kSampleRateChanged;
    }
}

void DeliverBufferSwitch(DriverState& state, AsioBackend& backend, long half) {
    ++state.switchCount;
    state.reportedPosition = state.samplePosition;
    state.reportedTime = state.systemTime;
    const ASIOCallbacks& host = state.callbacks;
    if (state.hostTimeInfo && host.bufferSwitchTimeInfo != nullptr) {
        ASIOTime time;
        FillAsioTime(state, time);
        host.bufferSwitchTimeInfo(&time, half, ASIOTrue);
        backend.OutputReady(state);
    } else if (host.bufferSwitch != nullptr) {
        host.bufferSwitch(half, ASIOTrue);
    }
}

}  // namespace veltrano::asio
