#include "asio/ks/packet_copy.h"

#include <algorithm>

#include "asio/core/kernels/dop_detector.h"
#include "asio/core/kernels/sample_copy.h"
#include "asio/ks/pin_stream.h"
#include "common/contract/status_block.h"
#include "common/rate_table.h"

namespace veltrano::asio::ks {
namespace {

// The packet a route's samples go to or come from, or null when the route,
// its pin or the packet has nothing to carry.
KSSTREAM_HEADER* PacketOf(const ChannelRoute& route, int packet, int half) {
    if (!route.enabled || route.stream == nullptr || route.buffers[half] == nullptr) return nullptr;
    auto* pin = static_cast<PinStream*>(route.stream);
    if (!pin->ready || pin->activeChannels == 0) return nullptr;
    KSSTREAM_HEADER* header = &pin->packets[packet].header;
    return header->Data != nullptr ? header : nullptr;
}

bool ScanChannel(DriverState& driver, const ChannelRoute& route, int half, size_t frames,
                 size_t sampleBytes) {
    const bool ok = kernels::ScanDopMarkers(static_cast<const uint8_t*>(route.buffers[half]),
                                            frames, sampleBytes);
    bool first = false;
    if (ok) first = InterlockedCompareExchange(&driver.dopDetected, 1, 0) == 0;
    if (driver.block != nullptr) driver.block->PublishDop(driver.classId, ok);
    return first;
}

}  // namespace

int DeviceSampleBits(const DriverState& driver) {
    return IsDsdRate(static_cast<double>(driver.asioRate)) ? 32 : driver.bitsPerSample;
}

bool CopyOutput(DriverState& driver, RateSlot& slot, int packet, int half) {
    const size_t b = static_cast<size_t>(DeviceSampleBits(driver) / 8);
    if (b == 0) return false;
    const bool nativeDsd =
        driver.block != nullptr && driver.block->Read(&AsioStatusBlock::nativeDsd) != 0;
    const bool scan = kernels::DopScanApplies(b, driver.pcmRate, nativeDsd);
    bool first = false;
    for (uint32_t r = 0; r < slot.channelCount && r < kMaxChannelsPerSlot; ++r) {
        const ChannelRoute& route = slot.routes[r];
        KSSTREAM_HEADER* header = PacketOf(route, packet, half);
        if (header == nullptr || header->FrameExtent == 0) continue;
        const size_t stride = route.stream->activeChannels * b;
        const size_t frames = std::min<size_t>(header->FrameExtent / stride, route.framesPerHalf);
        auto* dst = static_cast<uint8_t*>(header->Data);
        const auto* src = static_cast<const uint8_t*>(route.buffers[half]);
        if (slot.IsStereoPair(r, half)) {
            const ChannelRoute& right = slot.routes[r + 1];
            kernels::InterleaveStereo(src, static_cast<const uint8_t*>(right.buffers[half]), dst,
                                      frames, b);
            if (scan) {
                first = ScanChannel(driver, route, half, frames, b) || first;
                first = ScanChannel(driver, right, half, frames, b) || first;
            }
            ++r;
            continue;
        }
        kernels::CopyToInterleaved(src, dst + route.channelInStream * b, frames, b, stride);
        if (scan) first = ScanChannel(driver, route, half, frames, b) || first;
    }
    return first;
}

void CopyInput(RateSlot& slot, int packet, int half, int bitsPerSample) {
    const size_t b = static_cast<size_t>(bitsPerSample / 8);
    if (b == 0) return;
    for (uint32_t r = 0; r < slot.channelCount && r < kMaxChannelsPerSlot; ++r) {
        const ChannelRoute& route = slot.routes[r];
        KSSTREAM_HEADER* header = PacketOf(route, packet, half);
        if (header == nullptr || header->DataUsed == 0) continue;
        const size_t stride = route.stream->activeChannels * b;
        const size_t used = std::min(header->DataUsed, header->FrameExtent);
        const size_t frames = std::min<size_t>(used / stride, route.framesPerHalf);
        const auto* src = static_cast<const uint8_t*>(header->Data);
        auto* dst = static_cast<uint8_t*>(route.buffers[half]);
        if (slot.IsStereoPair(r, half)) {
            kernels::DeinterleaveStereo(
                src, dst, static_cast<uint8_t*>(slot.routes[r + 1].buffers[half]), frames, b);
            ++r;
            continue;
        }
        kernels::CopyFromInterleaved(src + route.channelInStream * b, dst, frames, b, stride);
    }
}

}  // namespace veltrano::asio::ks
