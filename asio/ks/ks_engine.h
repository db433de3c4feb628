#pragma once
// The kernel-streaming streaming engine: pin formats and packet buffers at
// createBuffers, the time-critical streaming thread with its 52-handle wait,
// the watchdog, the copies between host halves and device packets with the
// DSD-over-PCM scan.

#include "asio/core/asio_backend.h"
#include "asio/core/driver_state.h"
#include "asio/ks/pin_stream.h"

namespace veltrano::asio::ks {

class KsEngine {
public:
    KsEngine() = default;
    ~KsEngine();
    KsEngine(const KsEngine&) = delete;
    KsEngine& operator=(const KsEngine&) = delete;

    // init: the engine's events and timer (once per object).
    HRESULT Create();
    ASIOError AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                               ASIOBufferInfo* infos, long count, long bufferSize);
    void ReleaseChannels(DriverState& driver, Direction direction, RateSlot& slot);
    // `backend` performs outputReady on the time-info path.
    ASIOError StartThreads(DriverState& driver, AsioBackend& backend);
    void StopThreads(DriverState& driver);
    ASIOError Start(DriverState& driver, bool transition);
    ASIOError Stop(DriverState& driver, bool transition);
    ASIOError OutputReady(DriverState& driver);
    // Destruction: close every handle.
    void Destroy();
};

}  // namespace veltrano::asio::ks
