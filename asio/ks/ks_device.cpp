#include "asio/ks/ks_device.h"

#include <new>

#include "asio/ks/ks_discovery.h"

namespace veltrano::asio::ks {
namespace {

template <typename Filter>
std::unique_ptr<Filter> OpenFilter(const char* path, const char* name) {
    HRESULT hr = E_FAIL;
    std::unique_ptr<Filter> filter(new (std::nothrow) Filter(path, name, &hr));
    if (!filter || FAILED(hr) || FAILED(filter->Instantiate()) ||
        FAILED(filter->EnumerateNodes()) || FAILED(filter->EnumeratePins())) {
        return nullptr;
    }
    return filter;
}

}  // namespace

HRESULT KsDevice::Discover(DeviceIdentity& identity) {
    const HRESULT hr = DiscoverKsDevice(identity, m_symbolicLink);
    m_hasInput = SUCCEEDED(hr) && identity.hasInput;
    return hr;
}

HRESULT KsDevice::Acquire(const DriverState& driver) {
    if (m_symbolicLink[0] == '\0') return E_FAIL;
    const char* name = driver.device.deviceName;
    if (!m_render) {
        m_render = OpenFilter<kslib::CKsAudRenFilter>(m_symbolicLink, name);
        if (!m_render) return E_FAIL;
    }
    if (m_hasInput && !m_capture) {
        m_capture = OpenFilter<kslib::CKsAudCapFilter>(m_symbolicLink, name);
        if (!m_capture) return E_FAIL;
    }
    return CreateEvents() ? S_OK : E_OUTOFMEMORY;
}

bool KsDevice::CreateEvents() {
    if (m_eventsCreated) return true;
    for (DirectionPins& direction : m_pins) {
        for (auto& rate : direction) {
            for (PinStream& pin : rate) {
                for (StreamPacket& packet : pin.packets) {
                    if (packet.event) continue;
                    packet.event.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
                    packet.overlapped.hEvent = packet.event.get();
                    if (!packet.event) return false;
                }
            }
        }
    }
    m_eventsCreated = true;
    return true;
}

void KsDevice::BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots) {
    DirectionPins& pins = m_pins[static_cast<int>(direction)];
    if (direction == Direction::kOutput) {
        if (m_render) BuildDirectionTable(m_render->RenderSinkPins(), bitsPerSample, slots, pins);
        return;
    }
    if (!m_capture) {
        // Without a capture side the rates follow the output alone.
        for (RateSlot& slot : slots) slot.supported = true;
        return;
    }
    BuildDirectionTable(m_capture->CaptureSinkPins(), bitsPerSample, slots, pins);
}

long KsDevice::ChannelGroup(const ChannelRoute& route) const {
    const auto* pin = static_cast<const PinStream*>(route.stream);
    return pin != nullptr ? static_cast<long>(pin->pinId) : 0;
}

void KsDevice::Release() {
    for (DirectionPins& direction : m_pins) {
        for (auto& rate : direction) {
            for (PinStream& pin : rate) {
                pin.pin = nullptr;
                for (StreamPacket& packet : pin.packets) {
                    packet.overlapped.hEvent = nullptr;
                    packet.event.Reset();
                }
            }
        }
    }
    m_eventsCreated = false;
    m_capture.reset();
    m_render.reset();
}

}  // namespace veltrano::asio::ks
