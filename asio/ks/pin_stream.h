#pragma once
// The kernel-streaming back end's record of one usable device pin in a rate
// slot, with its ring of eight device packets.

#include "asio/core/capability_table.h"
#include "platform/win32_headers.h"

namespace kslib {
class CKsAudPin;
}

namespace veltrano::asio::ks {

inline constexpr int kPacketsPerPin = 8;
inline constexpr int kPinsPerSlot = 3;

// One device transfer: the stream header the pin reads or writes and the
// OVERLAPPED whose auto-reset event signals its completion. The event is
// created once, when the driver is initialised, and lives as long as the
// driver object.
struct StreamPacket {
    KSSTREAM_HEADER header{};
    OVERLAPPED overlapped{};
};

struct PinStream : DeviceStream {
    kslib::CKsAudPin* pin = nullptr;  // owned by its filter
    uint32_t framesPerPacket = 0;
    StreamPacket packets[kPacketsPerPin];
};

}  // namespace veltrano::asio::ks
