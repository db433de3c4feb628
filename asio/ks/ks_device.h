#pragma once
// The device side of the kernel-streaming driver: finding the Veltrano-HD
// among the audio filters at creation, the long-lived render and capture
// filters opened at init, the per-rate table of usable pins, and the storage
// of every PinStream with its packet completion events.

#include <memory>

#include "asio/core/capability_table.h"
#include "asio/core/driver_state.h"
#include "asio/ks/ks_table.h"
#include "asio/ks/pin_stream.h"
#include "kslib/ks_aud_filter.h"

namespace veltrano::asio::ks {

class KsDevice {
public:
    KsDevice() = default;
    ~KsDevice() { Release(); }
    KsDevice(const KsDevice&) = delete;
    KsDevice& operator=(const KsDevice&) = delete;

    // Creation: enumerate, match, probe widths. Fills the identity.
    HRESULT Discover(DeviceIdentity& identity);
    // init: open the render (and capture) filter on the discovered path and
    // create the packet events of every PinStream (once per object). A
    // second init keeps what the first opened.
    HRESULT Acquire(const DriverState& driver);
    // init: the table of one direction at this width.
    void BuildTable(Direction direction, int bitsPerSample, DirectionSlots& slots);
    // The pin identifier of the pin that carries a route.
    long ChannelGroup(const ChannelRoute& route) const;
    // Destruction: close the events, destroy the filters.
    void Release();

    const char* SymbolicLink() const { return m_symbolicLink; }

private:
    bool CreateEvents();

    char m_symbolicLink[MAX_PATH] = {};
    bool m_hasInput = false;
    std::unique_ptr<kslib::CKsAudRenFilter> m_render;
    std::unique_ptr<kslib::CKsAudCapFilter> m_capture;
    DirectionPins m_pins[kDirectionCount];
    bool m_eventsCreated = false;
};

}  // namespace veltrano::asio::ks
