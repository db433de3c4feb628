#pragma once
// What the streaming thread's files share: the device's silence, the
// switch clock and the stream of a slot.
// mmsystem.h needs the Windows types first.
// clang-format off
#include <windows.h>
#include <mmsystem.h>
// clang-format on

#include <cstdint>

#include "asio/wasapi/wasapi_backend.h"

namespace veltrano::asio {

inline constexpr uint8_t kDsdSilence = 0x69;

inline int64_t NowNanoseconds() { return static_cast<int64_t>(timeGetTime()) * 1000000; }

// The device's silence: zero samples, or the DSD idle pattern.
inline uint8_t SilenceByte(bool nativeDsd) { return nativeDsd ? kDsdSilence : 0; }

inline EndpointStream* StreamAt(RateSlot* slot, uint32_t index) {
    if (slot == nullptr || index >= slot->streamCount) return nullptr;
    return static_cast<EndpointStream*>(slot->streams[index]);
}

}  // namespace veltrano::asio
