#include "asio/ks/ks_backend.h"

#include <new>

namespace veltrano::asio::ks {

HRESULT KsBackend::Discover(DeviceIdentity& identity) { return m_device.Discover(identity); }

HRESULT KsBackend::Acquire(const DriverState& driver) {
    const HRESULT hr = m_device.Acquire(driver);
    return FAILED(hr) ? hr : m_engine.Create();
}

void KsBackend::BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots) {
    m_device.BuildTable(direction, bitsPerSample, slots);
}

ASIOError KsBackend::AllocateChannels(DriverState& driver, Direction direction, RateSlot& slot,
                                      ASIOBufferInfo* infos, long count, long bufferSize) {
    return m_engine.AllocateChannels(driver, direction, slot, infos, count, bufferSize);
}

void KsBackend::ReleaseChannels(DriverState& driver, Direction direction, RateSlot& slot) {
    m_engine.ReleaseChannels(driver, direction, slot);
}

ASIOError KsBackend::StartThreads(DriverState& driver) {
    return m_engine.StartThreads(driver, *this);
}

void KsBackend::StopThreads(DriverState& driver) { m_engine.StopThreads(driver); }

ASIOError KsBackend::OnStart(DriverState& driver, bool transition) {
    return m_engine.Start(driver, transition);
}

ASIOError KsBackend::OnStop(DriverState& driver, bool transition) {
    return m_engine.Stop(driver, transition);
}

ASIOError KsBackend::OutputReady(DriverState& driver) { return m_engine.OutputReady(driver); }

long KsBackend::ChannelGroup(Direction, const ChannelRoute& route) const {
    return m_device.ChannelGroup(route);
}

// The engine's threads are gone by now (disposeBuffers ran first); the
// pins' packet events go with the device.
void KsBackend::Shutdown() {
    m_engine.Destroy();
    m_device.Release();
}

}  // namespace veltrano::asio::ks

namespace veltrano::asio {

std::unique_ptr<AsioBackend> CreateDriverBackend() noexcept {
    return std::unique_ptr<AsioBackend>(new (std::nothrow) ks::KsBackend());
}

}  // namespace veltrano::asio
