#pragma once
// The kernel-streaming back end of VeltranoHDASIO: the device side
// (discovery, filters, table) and the streaming engine behind the driver
// object's interface.

#include "asio/core/asio_backend.h"
#include "asio/ks/ks_device.h"
#include "asio/ks/ks_engine.h"

namespace veltrano::asio::ks {

class KsBackend final : public AsioBackend {
public:
    HRESULT Discover(DeviceIdentity& identity) override;
    HRESULT Acquire(const DriverState& driver) override;
    void BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots) override;
    ASIOError AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                               ASIOBufferInfo* infos, long count, long bufferSize) override;
    void ReleaseChannels(DriverState& driver, Direction direction, RateSlot& slot) override;
    ASIOError StartThreads(DriverState& driver) override;
    void StopThreads(DriverState& driver) override;
    ASIOError OnStart(DriverState& driver, bool transition) override;
    ASIOError OnStop(DriverState& driver, bool transition) override;
    ASIOError OutputReady(DriverState& driver) override;
    long ChannelGroup(Direction direction, const ChannelRoute& route) const override;
    void Shutdown() override;

private:
    KsDevice m_device;
    KsEngine m_engine;
};

}  // namespace veltrano::asio::ks
