#include "asio/ks/ks_table.h"

#include <algorithm>

#include "kslib/ks_aud_pin.h"

namespace veltrano::asio::ks {

void PinStream::Assign(kslib::CKsAudPin* audioPin, ULONG id, uint32_t channels) {
    usable = true;
    inUse = false;
    ready = false;
    maxChannels = channels;
    activeChannels = 0;
    pin = audioPin;
    pinId = id;
    framesPerPacket = 0;
    for (StreamPacket& packet : packets) {
        packet.header = KSSTREAM_HEADER{};
        packet.header.Size = sizeof(KSSTREAM_HEADER);
        packet.header.PresentationTime.Numerator = 1;
        packet.header.PresentationTime.Denominator = 1;
        const HANDLE event = packet.overlapped.hEvent;
        packet.overlapped = OVERLAPPED{};
        packet.overlapped.hEvent = event;
    }
}

uint32_t PinChannels(const kslib::CKsPin& pin, int bitsPerSample, uint32_t rate) {
    const auto& audioPin = static_cast<const kslib::CKsAudPin&>(pin);
    uint32_t channels = 0;
    const auto bits = static_cast<ULONG>(bitsPerSample);
    for (const KSDATARANGE_AUDIO* range : audioPin.DataRanges()) {
        if (range == nullptr ||
            !IsEqualGUID(range->DataRange.SubFormat, KSDATAFORMAT_SUBTYPE_PCM)) {
            continue;
        }
        if (range->MinimumBitsPerSample <= bits && bits <= range->MaximumBitsPerSample &&
            range->MinimumSampleFrequency <= rate && rate <= range->MaximumSampleFrequency) {
            channels = std::max(channels, static_cast<uint32_t>(range->MaximumChannels));
        }
    }
    return std::min(channels, kMaxPinChannels);
}

void BuildDirectionTable(const kslib::CKsList<kslib::CKsPin>& candidates, int bitsPerSample,
                         DirectionSlots& slots, DirectionPins& pins) {
    for (int i = 0; i < kRateCount; ++i) {
        RateSlot& slot = slots[i];
        for (kslib::CKsPin* pin : candidates) {
            if (slot.streamCount >= kPinsPerSlot || slot.channelCount >= kMaxChannelsPerSlot) break;
            if (pin == nullptr) continue;
            const uint32_t channels = PinChannels(*pin, bitsPerSample, slot.sampleRate);
            if (channels == 0) continue;
            // Only the routes that fit are the pin's ASIO channels.
            const uint32_t routed = std::min(channels, kMaxChannelsPerSlot - slot.channelCount);
            PinStream& record = pins[i][slot.streamCount];
            record.Assign(static_cast<kslib::CKsAudPin*>(pin), pin->GetId(), channels);
            slot.AddStream(&record, routed);
        }
    }
}

}  // namespace veltrano::asio::ks
