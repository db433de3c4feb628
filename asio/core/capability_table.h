#pragma once
// The capability table: per direction, one slot per rate-table entry saying
// whether the device can stream that rate at the current width, with how
// many channels, and which device stream carries each ASIO channel. The
// device streams themselves (kernel-streaming pins, WASAPI endpoint streams)
// belong to the back end; the table refers to them through DeviceStream.

#include <array>
#include <cstdint>

#include "common/rate_table.h"

namespace veltrano::asio {

enum class Direction { kOutput = 0, kInput = 1 };
inline constexpr int kDirectionCount = 2;

// Upper bounds of the table, large enough for both back ends: the
// kernel-streaming back end uses at most 3 streams per slot, the WASAPI back
// end up to 30; a back end offering more channels than fit cuts them.
inline constexpr uint32_t kMaxStreamsPerSlot = 30;
inline constexpr uint32_t kMaxChannelsPerSlot = 64;

// The part of a back end's per-stream record that the driver object reads.
// Back ends derive their record from it and own its storage.
struct DeviceStream {
    bool usable = false;
    bool inUse = false;  // at least one of its channels has host buffers
    bool ready = false;  // format set and stream opened
    uint32_t maxChannels = 0;
    uint32_t activeChannels = 0;
};

struct ChannelRoute {
    bool exists = false;
    bool enabled = false;  // has host buffers
    uint32_t channelInStream = 0;
    DeviceStream* stream = nullptr;
    uint32_t framesPerHalf = 0;
    void* buffers[2] = {nullptr, nullptr};
};

struct RateSlot {
    bool supported = false;
    uint32_t sampleRate = 0;
    uint32_t channelCount = 0;  // ASIO channels of this direction at this rate
    uint32_t streamCount = 0;
    std::array<DeviceStream*, kMaxStreamsPerSlot> streams{};
    uint32_t readyStreamMask = 0;
    std::array<ChannelRoute, kMaxChannelsPerSlot> routes{};

    // Empties the slot for `rate`, keeping nothing of a previous build.
    void Reset(uint32_t rate) { *this = RateSlot{.sampleRate = rate}; }

    // Appends a usable stream and routes for its first `channels` channels
    // (cut to the room left). False when the slot has no room for a stream.
    bool AddStream(DeviceStream* stream, uint32_t channels);

    // Route r and the next one are channels 0 and 1 of a two-channel stream,
    // both with a buffer for `half`: the copies move them in one pass.
    bool IsStereoPair(uint32_t r, int half) const {
        if (r + 1 >= channelCount || r + 1 >= kMaxChannelsPerSlot) return false;
        const ChannelRoute& left = routes[r];
        const ChannelRoute& right = routes[r + 1];
        return left.stream != nullptr && left.channelInStream == 0 &&
               left.stream->activeChannels == 2 && left.buffers[half] != nullptr &&
               right.enabled && right.stream == left.stream && right.channelInStream == 1 &&
               right.framesPerHalf == left.framesPerHalf && right.buffers[half] != nullptr;
    }
};

using DirectionSlots = std::array<RateSlot, kRateCount>;

struct CapabilityTable {
    std::array<DirectionSlots, kDirectionCount> slots{};

    DirectionSlots& operator[](Direction d) { return slots[static_cast<int>(d)]; }
    const DirectionSlots& operator[](Direction d) const { return slots[static_cast<int>(d)]; }

    // The slot of `rate` in a direction, or null.
    RateSlot* Find(Direction d, uint32_t rate);

    // A rate is usable when both directions support it (a device without
    // input has every input slot supported with no channels).
    bool SupportedBoth(int rateIndex) const;
    // Mask of rates supported in both directions, bit i = rate table entry i.
    uint32_t SupportedRateMask() const;
};

}  // namespace veltrano::asio
