#include "kslib/ks_reply.h"

namespace kswire {
namespace {

struct WaveFormatFields {
    uint16_t tag;
    uint16_t channels;
    uint32_t samplesPerSec;
    uint16_t bitsPerSample;
    uint16_t cbSize;
};

uint16_t Read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Read32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

}  // namespace

bool ParseMultipleItem(const void* reply, size_t replySize, size_t itemSize, ItemView* view) {
    *view = ItemView{};
    if (reply == nullptr || replySize < sizeof(MultipleItem) || itemSize == 0) return false;
    MultipleItem header;
    std::memcpy(&header, reply, sizeof header);
    if (header.Size < sizeof(MultipleItem) || header.Size > replySize) return false;
    const size_t room = header.Size - sizeof(MultipleItem);
    if (header.Count > room / itemSize) return false;
    view->first = static_cast<const uint8_t*>(reply) + sizeof(MultipleItem);
    view->count = header.Count;
    view->itemSize = itemSize;
    return true;
}

bool ContainsIdentifier(const ItemView& view, const Guid& set, uint32_t id) {
    if (view.itemSize < sizeof(Identifier)) return false;
    for (uint32_t i = 0; i < view.count; ++i) {
        Identifier item;
        std::memcpy(&item, view.first + i * view.itemSize, sizeof item);
        if (item.Set == set && item.Id == id) return true;
    }
    return false;
}

bool IsWaveTagGuid(const Guid& g) {
    const Guid pattern = WaveTagGuid(static_cast<uint16_t>(g.Data1 & 0xFFFF));
    return (g.Data1 & 0xFFFF0000u) == 0 && g == pattern;
}

bool WalkAudioDataRanges(const void* reply, size_t replySize, DataRangeSink sink, void* context,
                         bool* consideredAny) {
    *consideredAny = false;
    if (reply == nullptr || replySize < sizeof(MultipleItem)) return false;
    MultipleItem header;
    std::memcpy(&header, reply, sizeof header);
    if (header.Size < sizeof(MultipleItem) || header.Size > replySize) return false;
    const uint8_t* base = static_cast<const uint8_t*>(reply);
    size_t offset = sizeof(MultipleItem);
    const size_t end = header.Size;
    for (uint32_t i = 0; i < header.Count; ++i) {
        const size_t left = end - offset;
        if (left < sizeof(DataRange)) return false;
        DataRange head;
        std::memcpy(&head, base + offset, sizeof head);
        if (head.FormatSize < sizeof(DataRange) || head.FormatSize > left) return false;

        if (!*consideredAny && (IsWaveTagGuid(head.SubFormat) || IsNullGuid(head.SubFormat))) {
            *consideredAny = true;
        }
        if (*consideredAny && head.MajorFormat == kTypeAudio) {
            DataRangeAudio copy{};
            const size_t take = head.FormatSize < sizeof copy ? head.FormatSize : sizeof copy;
            std::memcpy(&copy, base + offset, take);
            sink(context, copy);
        }
        const size_t step = (static_cast<size_t>(head.FormatSize) + 7) & ~static_cast<size_t>(7);
        if (step >= left) {
            offset = end;
        } else {
            offset += step;
        }
        if (offset == end && i + 1 < header.Count) return false;
    }
    return true;
}

bool RangeSupports(const DataRangeAudio& range, const FormatQuery& query, uint32_t flags) {
    const DataRange& head = range.DataRange;
    if (!(head.MajorFormat == kTypeAudio) && !IsNullGuid(head.MajorFormat)) return false;
    if (!(head.SubFormat == query.subFormat) && !IsNullGuid(head.SubFormat)) return false;
    if (!(head.Specifier == kSpecifierWaveFormatEx) && !IsNullGuid(head.Specifier)) return false;
    if ((flags & kMatchChannels) && range.MaximumChannels < query.channels) return false;
    if ((flags & kMatchBits) && (query.bitsPerSample < range.MinimumBitsPerSample ||
                                 query.bitsPerSample > range.MaximumBitsPerSample)) {
        return false;
    }
    if ((flags & kMatchRate) && (query.samplesPerSec < range.MinimumSampleFrequency ||
                                 query.samplesPerSec > range.MaximumSampleFrequency)) {
        return false;
    }
    return true;
}

bool QueryFromWaveFormat(const void* wfx, size_t formatSize, FormatQuery* query) {
    constexpr size_t kWaveFormatExSize = 18;
    constexpr size_t kExtensibleExtra = 22;
    if (wfx == nullptr || formatSize < kWaveFormatExSize) return false;
    const uint8_t* p = static_cast<const uint8_t*>(wfx);
    WaveFormatFields f{Read16(p), Read16(p + 2), Read32(p + 4), Read16(p + 14), Read16(p + 16)};
    query->channels = f.channels;
    query->samplesPerSec = f.samplesPerSec;
    query->bitsPerSample = f.bitsPerSample;
    if (f.tag == kWaveFormatExtensible) {
        if (f.cbSize < kExtensibleExtra || formatSize < kWaveFormatExSize + kExtensibleExtra) {
            return false;
        }
        std::memcpy(&query->subFormat, p + kWaveFormatExSize + 6, sizeof(Guid));
    } else {
        query->subFormat = WaveTagGuid(f.tag);
    }
    return true;
}

}  // namespace kswire
