#include "asio/core/capability_table.h"

namespace veltrano::asio {

bool RateSlot::AddStream(DeviceStream* stream, uint32_t channels) {
    if (streamCount >= kMaxStreamsPerSlot || stream == nullptr) return false;
    streams[streamCount++] = stream;
    stream->usable = true;
    for (uint32_t l = 0; l < channels && channelCount < kMaxChannelsPerSlot; ++l) {
        ChannelRoute& route = routes[channelCount++];
        route = ChannelRoute{.exists = true, .channelInStream = l, .stream = stream};
    }
    supported = true;
    return true;
}

RateSlot* CapabilityTable::Find(Direction d, uint32_t rate) {
    const int index = RateIndex(rate);
    return index < 0 ? nullptr : &(*this)[d][index];
}

bool CapabilityTable::SupportedBoth(int rateIndex) const {
    return (*this)[Direction::kOutput][rateIndex].supported &&
           (*this)[Direction::kInput][rateIndex].supported;
}

uint32_t CapabilityTable::SupportedRateMask() const {
    uint32_t mask = 0;
    for (int i = 0; i < kRateCount; ++i) {
        if (SupportedBoth(i)) mask |= 1u << i;
    }
    return mask;
}

}  // namespace veltrano::asio
