// One stream event served, and the buffer switches it makes due.
#include <windows.h>

#include <cstring>

#include "asio/core/buffer_switch.h"
#include "asio/wasapi/streaming_common.h"
#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {

void WasapiBackend::ServeStream(Direction direction, uint32_t s) {
    RateSlot* slot = m_driver->InUseSlot(direction);
    if (slot == nullptr || m_period == 0 || m_deviceLost) return;
    EndpointStream* stream = StreamAt(slot, s);
    if (stream == nullptr || !stream->ready) return;
    // Nothing moves while stopped (a stop made from inside a callback
    // leaves its last events behind).
    if (!m_running) return;
    const int d = static_cast<int>(direction);
    const int64_t period = m_served[d][s];
    const Served served = direction == Direction::kOutput
                              ? WriteOutput(*slot, *stream, s, period)
                              : ReadInput(*slot, *stream, s, period);
    if (served == Served::kDeviceLost) {
        DeviceLost();
        return;
    }
    if (served == Served::kNone) return;
    if (served == Served::kPeriod) ++m_served[d][s];
    // Told after the period is done: a host may tear the set down from
    // inside the message.
    TellResync();
    if (m_leaveNow || !m_running) return;
    DispatchDue();
    // An input that lost more packets than one event's room allows owes
    // its switches silence: each switch made frees the half for the next,
    // so the debt is paid now, not a switch per packet while the output
    // plays silence for want of them.
    while (direction == Direction::kInput && !m_leaveNow && m_running) {
        int64_t next = m_served[d][s];
        if (!PayInputDebt(*slot, *stream, s, next)) break;
        TellResync();
        if (m_leaveNow || !m_running) return;
        DispatchDue();
    }
}

// Switch k is due once every ready input stream has served its period
// k - 1 and every ready output stream the period that plays the half's last
// switch. Normally one switch per event; after a direction caught up, each
// switch it owes, in order.
void WasapiBackend::DispatchDue() {
    for (;;) {
        int64_t ready = INT64_MAX;
        for (Direction d : {Direction::kOutput, Direction::kInput}) {
            const int di = static_cast<int>(d);
            if ((m_activeDirections & (1u << di)) == 0) continue;
            const RateSlot* slot = m_driver->InUseSlot(d);
            for (uint32_t s = 0; s < slot->streamCount; ++s) {
                if ((slot->readyStreamMask & (1u << s)) == 0) continue;
                const int64_t served =
                    m_served[di][s] - (d == Direction::kOutput ? m_outputLead - 1 : 0);
                if (served < ready) ready = served;
            }
        }
        if (ready == INT64_MAX || m_driver->switchCount >= ready) return;
        // A stop is on its way: a switch the host will not get must not
        // move the position it reads either.
        if (m_stopped != 0) return;
        const int half = static_cast<int>((m_driver->switchCount + 1) % 2);
        m_driver->samplePosition += m_hostFramesPerPeriod;
        m_driver->systemTime = NowNanoseconds();
        Dispatch(half);
        if (m_leaveNow || !m_running) return;
    }
}

void WasapiBackend::Dispatch(int half) {
    DriverState& driver = *m_driver;
    // What getSamplePosition reports until the next switch.
    PublishSwitch(driver);
    const ASIOCallbacks& host = driver.callbacks;
    if (driver.hostTimeInfo && host.bufferSwitchTimeInfo != nullptr) {
        FillAsioTime(driver, m_time);
        if (m_stopped == 0) host.bufferSwitchTimeInfo(&m_time, half, ASIOTrue);
        return;
    }
    if (m_stopped == 0 && host.bufferSwitch != nullptr) host.bufferSwitch(half, ASIOTrue);
}

}  // namespace veltrano::asio
