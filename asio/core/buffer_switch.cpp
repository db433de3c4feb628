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
    const SwitchClock::Pair pair = state.reported.Read();
    Split(pair.timeNs, time.timeInfo.systemTime);
    Split(pair.position, time.timeInfo.samplePosition);
    // Positions count samples at the host's rate (DSD samples in native
    // DSD), so the rate that converts them to time is the host's too.
    time.timeInfo.sampleRate = state.HostRate();
    time.timeInfo.flags = kSystemTimeValid | kSamplePositionValid | kSampleRateValid;
    // The host learns of a rate change once, with the first switch after it.
    if (InterlockedExchange(&state.rateChanged, 0) != 0) {
        time.timeInfo.flags |= kSampleRateChanged;
    }
}

void ResetTransport(DriverState& state, int64_t nowNs) {
    state.switchCount = 0;
    state.samplePosition = 0;
    state.systemTime = nowNs;
    state.reported.Reset(nowNs);
}

void PublishSwitch(DriverState& state) {
    ++state.switchCount;
    state.reported.Publish(state.samplePosition, state.systemTime);
}

void DeliverBufferSwitch(DriverState& state, long half) {
    PublishSwitch(state);
    // Copied first: a host may stop or dispose from inside the callback,
    // which clears them.
    const ASIOCallbacks host = state.callbacks;
    if (state.hostTimeInfo && host.bufferSwitchTimeInfo != nullptr) {
        ASIOTime time;
        FillAsioTime(state, time);
        host.bufferSwitchTimeInfo(&time, half, ASIOTrue);
    } else if (host.bufferSwitch != nullptr) {
        host.bufferSwitch(half, ASIOTrue);
    }
}

}  // namespace veltrano::asio
