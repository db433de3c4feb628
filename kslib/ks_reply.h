#pragma once
// Parsing of kernel-streaming property replies. The bytes come from a driver,
// so every count and size is checked against the reply's length: a reply that
// does not add up is refused and nothing outside it is read.

#include <cstddef>
#include <cstdint>

#include "kslib/ks_wire.h"

namespace kswire {

// A KSMULTIPLE_ITEM reply of fixed-size items.
struct ItemView {
    const uint8_t* first = nullptr;
    uint32_t count = 0;
    size_t itemSize = 0;
};

// False when the header's Size is below the header or beyond the reply, or
// when Count items of itemSize do not fit in Size.
bool ParseMultipleItem(const void* reply, size_t replySize, size_t itemSize, ItemView* view);

// Is there an item {Set, Id} among KSIDENTIFIER items (Flags not examined)?
bool ContainsIdentifier(const ItemView& view, const Guid& set, uint32_t id);

// Walks a KSMULTIPLE_ITEM of data ranges, each advanced by its FormatSize
// rounded up to 8 bytes. Calls sink(range, index) for every range that is
// considered as audio (see below) with a copy of up to 88 bytes; bytes beyond
// the range's FormatSize are zero. Returns false and stops on a malformed
// reply: a range shorter than a KSDATARANGE, a FormatSize beyond the reply,
// or a Count the reply cannot hold.
//
// A range is considered once its SubFormat is a wave-format-tag GUID or all
// zero; from then on every later range is considered too. Only considered
// ranges whose MajorFormat is audio reach the sink. *consideredAny tells
// whether any range was considered.
using DataRangeSink = void (*)(void* context, const DataRangeAudio& range);
bool WalkAudioDataRanges(const void* reply, size_t replySize, DataRangeSink sink, void* context,
                         bool* consideredAny);

bool IsWaveTagGuid(const Guid& g);

// What a format asks of a range.
struct FormatQuery {
    Guid subFormat;
    uint32_t channels;
    uint32_t bitsPerSample;
    uint32_t samplesPerSec;
};

inline constexpr uint32_t kMatchChannels = 2;
inline constexpr uint32_t kMatchBits = 4;
inline constexpr uint32_t kMatchRate = 8;

// Major type, subtype and specifier always; channels, bit range and rate
// range as selected by the flags.
bool RangeSupports(const DataRangeAudio& range, const FormatQuery& query, uint32_t flags);

// Reads a WAVEFORMATEX(TENSIBLE) of formatSize bytes. False when it is too
// short for what its tag and cbSize announce.
bool QueryFromWaveFormat(const void* wfx, size_t formatSize, FormatQuery* query);

}  // namespace kswire
