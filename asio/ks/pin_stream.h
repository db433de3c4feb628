#pragma once
// The kernel-streaming back end's record of one usable device pin in a rate
// slot, with its ring of eight device packets.

#include "asio/core/capability_table.h"
#include "common/win_owners.h"
#include "platform/win32_headers.h"

namespace kslib {
class CKsAudPin;
}

namespace veltrano::asio::ks {

inline constexpr int kPacketsPerPin = 8;
// Three pins of each direction fit the streaming thread's wait list: 4
// control handles and 2 × 3 × 8 packet events stay within the platform's
// 64-handle limit.
inline constexpr uint32_t kPinsPerSlot = 3;
// Channels one pin is offered with: the ASIO channels of a slot are capped
// at this as well, and a data range claiming more would otherwise make the
// channel-count retries of pin creation run for a very long time.
inline constexpr uint32_t kMaxPinChannels = kMaxChannelsPerSlot;

// One device transfer: the stream header the pin reads or writes and the
// OVERLAPPED whose auto-reset event signals its completion. The event is
// created once, when the driver is initialised, and lives as long as the
// driver object.
struct StreamPacket {
    KSSTREAM_HEADER header{};
    OVERLAPPED overlapped{};
    // Owns overlapped.hEvent, which is the same handle or null.
    UniqueHandle event;
};

struct PinStream : DeviceStream {
    kslib::CKsAudPin* pin = nullptr;  // owned by its filter
    ULONG pinId = 0;
    uint32_t framesPerPacket = 0;
    StreamPacket packets[kPacketsPerPin];

    // Back to a fresh table entry for `audioPin`; the packet events stay.
    void Assign(kslib::CKsAudPin* audioPin, ULONG id, uint32_t channels);
};

}  // namespace veltrano::asio::ks
