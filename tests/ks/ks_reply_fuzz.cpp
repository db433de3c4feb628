// Property replies come from a driver: no reply may make the parsers read
// outside it. The input is copied into an exactly sized heap block so the
// address sanitizer sees any overread.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "kslib/ks_reply.h"

namespace {

void CountRange(void* context, const kswire::DataRangeAudio& range) {
    auto* sum = static_cast<uint64_t*>(context);
    *sum += range.MaximumChannels + range.DataRange.FormatSize;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> reply(data, data + size);
    const uint8_t* bytes = reply.empty() ? nullptr : reply.data();

    uint64_t sum = 0;
    bool considered = false;
    if (kswire::WalkAudioDataRanges(bytes, reply.size(), &CountRange, &sum, &considered)) {
        sum += considered;
    }
    for (size_t itemSize : {sizeof(kswire::Guid), sizeof(kswire::Identifier)}) {
        kswire::ItemView view;
        if (kswire::ParseMultipleItem(bytes, reply.size(), itemSize, &view)) {
            if (itemSize == sizeof(kswire::Identifier)) {
                sum += kswire::ContainsIdentifier(view, kswire::kInterfaceSetStandard, 0);
            } else if (view.count > 0) {
                kswire::Guid last;
                std::memcpy(&last, view.first + (view.count - 1) * itemSize, sizeof last);
                sum += last.Data1;
            }
        }
    }
    kswire::FormatQuery query;
    if (kswire::QueryFromWaveFormat(bytes, reply.size(), &query)) sum += query.channels;
    volatile uint64_t sink = sum;
    (void)sink;
    return 0;
}
