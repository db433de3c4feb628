#include "kslib/ks_reply.h"

#include <gtest/gtest.h>

#include <vector>

namespace kswire {
namespace {

std::vector<uint8_t> Reply(const std::vector<std::vector<uint8_t>>& items, uint32_t count,
                           size_t extraSize = 0) {
    std::vector<uint8_t> bytes(sizeof(MultipleItem));
    for (const auto& item : items) bytes.insert(bytes.end(), item.begin(), item.end());
    MultipleItem header{static_cast<uint32_t>(bytes.size() + extraSize), count};
    std::memcpy(bytes.data(), &header, sizeof header);
    return bytes;
}

std::vector<uint8_t> Range(uint32_t formatSize, Guid sub = kSubtypePcm, Guid major = kTypeAudio,
                           uint32_t bits = 16) {
    DataRangeAudio r{};
    r.DataRange.FormatSize = formatSize;
    r.DataRange.MajorFormat = major;
    r.DataRange.SubFormat = sub;
    r.DataRange.Specifier = kSpecifierWaveFormatEx;
    r.MaximumChannels = 2;
    r.MinimumBitsPerSample = bits;
    r.MaximumBitsPerSample = bits;
    r.MinimumSampleFrequency = 44100;
    r.MaximumSampleFrequency = 96000;
    std::vector<uint8_t> bytes(reinterpret_cast<uint8_t*>(&r),
                               reinterpret_cast<uint8_t*>(&r) + sizeof r);
    bytes.resize((formatSize + 7) & ~7u);
    return bytes;
}

struct Collected {
    std::vector<DataRangeAudio> ranges;
    static void Sink(void* context, const DataRangeAudio& range) {
        static_cast<Collected*>(context)->ranges.push_back(range);
    }
};

TEST(KsReply, MultipleItemCountsMustFitTheReply) {
    const std::vector<uint8_t> item(24, 0xAB);
    auto reply = Reply({item, item}, 2);
    ItemView view;
    ASSERT_TRUE(ParseMultipleItem(reply.data(), reply.size(), 24, &view));
    EXPECT_EQ(view.count, 2u);
    EXPECT_EQ(view.first, reply.data() + 8);

    auto overrun = Reply({item}, 2);
    EXPECT_FALSE(ParseMultipleItem(overrun.data(), overrun.size(), 24, &view));
    auto huge = Reply({item}, 0xFFFFFFFF);
    EXPECT_FALSE(ParseMultipleItem(huge.data(), huge.size(), 24, &view));
    auto longer = Reply({item}, 1, 100);  // Size claims bytes the reply lacks
    EXPECT_FALSE(ParseMultipleItem(longer.data(), longer.size(), 24, &view));
    EXPECT_FALSE(ParseMultipleItem(reply.data(), 7, 24, &view));
    EXPECT_FALSE(ParseMultipleItem(nullptr, 0, 24, &view));
    EXPECT_EQ(view.count, 0u);
}

TEST(KsReply, IdentifiersAreFoundBySetAndId) {
    Identifier looped{kInterfaceSetStandard, 1, 0};
    Identifier standard{kInterfaceSetStandard, 0, 7};
    std::vector<uint8_t> a(sizeof looped), b(sizeof standard);
    std::memcpy(a.data(), &looped, sizeof looped);
    std::memcpy(b.data(), &standard, sizeof standard);
    auto reply = Reply({a}, 1);
    ItemView view;
    ASSERT_TRUE(ParseMultipleItem(reply.data(), reply.size(), sizeof(Identifier), &view));
    EXPECT_FALSE(ContainsIdentifier(view, kInterfaceSetStandard, 0));
    reply = Reply({a, b}, 2);
    ASSERT_TRUE(ParseMultipleItem(reply.data(), reply.size(), sizeof(Identifier), &view));
    EXPECT_TRUE(ContainsIdentifier(view, kInterfaceSetStandard, 0));  // Flags not examined
    EXPECT_FALSE(ContainsIdentifier(view, kMediumSetStandard, 0));
}

TEST(KsReply, DataRangesAreWalkedByTheirSizesAndConsideredFromTheFirstWaveRange) {
    const Guid analog{0x6dba3190, 0x67bd, 0x11cf, {0xa0, 0xf7, 0x00, 0x20, 0xaf, 0xd1, 0x56, 0xe4}};
    // Not considered (analog), then considered (PCM), then considered despite
    // the analog subtype, then skipped as not audio.
    auto reply = Reply({Range(88, analog), Range(88), Range(88, analog, kTypeAudio, 24),
                        Range(88, kSubtypePcm, Guid{})},
                       4);
    Collected c;
    bool considered = false;
    ASSERT_TRUE(WalkAudioDataRanges(reply.data(), reply.size(), &Collected::Sink, &c, &considered));
    EXPECT_TRUE(considered);
    ASSERT_EQ(c.ranges.size(), 2u);
    EXPECT_EQ(c.ranges[1].MinimumBitsPerSample, 24u);

    auto none = Reply({Range(88, analog)}, 1);
    c.ranges.clear();
    ASSERT_TRUE(WalkAudioDataRanges(none.data(), none.size(), &Collected::Sink, &c, &considered));
    EXPECT_FALSE(considered);
    EXPECT_TRUE(c.ranges.empty());
}

TEST(KsReply, ShortOrOversizedRangesAreRefusedWithoutReadingPastTheReply) {
    Collected c;
    bool considered = false;
    // A last range of 64 bytes: copied as far as it goes, the rest zero.
    auto shortLast = Reply({Range(88), Range(64)}, 2);
    ASSERT_TRUE(
        WalkAudioDataRanges(shortLast.data(), shortLast.size(), &Collected::Sink, &c, &considered));
    ASSERT_EQ(c.ranges.size(), 2u);
    EXPECT_EQ(c.ranges[1].MaximumChannels, 0u);

    for (uint32_t formatSize : {0u, 8u, 63u, 200u}) {
        auto bad = Reply({Range(88), Range(88)}, 2);
        std::memcpy(bad.data() + 8 + 88, &formatSize, sizeof formatSize);
        EXPECT_FALSE(WalkAudioDataRanges(bad.data(), bad.size(), &Collected::Sink, &c, &considered))
            << formatSize;
    }
    auto overrun = Reply({Range(88)}, 3);
    EXPECT_FALSE(
        WalkAudioDataRanges(overrun.data(), overrun.size(), &Collected::Sink, &c, &considered));
    auto truncated = Reply({Range(88)}, 1);
    EXPECT_FALSE(WalkAudioDataRanges(truncated.data(), truncated.size() - 1, &Collected::Sink, &c,
                                     &considered));
}

TEST(KsReply, RangeMatchingTestsOnlyTheSelectedParts) {
    DataRangeAudio r{};
    auto bytes = Range(88);
    std::memcpy(&r, bytes.data(), sizeof r);
    FormatQuery q{kSubtypePcm, 6, 16, 8000};
    EXPECT_TRUE(RangeSupports(r, q, kMatchBits));
    EXPECT_FALSE(RangeSupports(r, q, kMatchChannels));
    EXPECT_FALSE(RangeSupports(r, q, kMatchRate));
    q = {kSubtypePcm, 2, 16, 96000};
    EXPECT_TRUE(RangeSupports(r, q, kMatchChannels | kMatchBits | kMatchRate));
    q.subFormat = WaveTagGuid(3);
    EXPECT_FALSE(RangeSupports(r, q, 0));
    r.DataRange.SubFormat = Guid{};  // a wildcard
    EXPECT_TRUE(RangeSupports(r, q, 0));
}

TEST(KsReply, WaveFormatsGiveTheirSubtype) {
    uint8_t wfx[40] = {};
    wfx[0] = 0xFE;
    wfx[1] = 0xFF;  // WAVE_FORMAT_EXTENSIBLE
    wfx[2] = 2;
    wfx[14] = 24;
    wfx[16] = 22;
    std::memcpy(wfx + 24, &kSubtypePcm, sizeof kSubtypePcm);
    FormatQuery q{};
    ASSERT_TRUE(QueryFromWaveFormat(wfx, sizeof wfx, &q));
    EXPECT_EQ(q.subFormat, kSubtypePcm);
    EXPECT_EQ(q.bitsPerSample, 24u);
    EXPECT_FALSE(QueryFromWaveFormat(wfx, 18, &q));
    wfx[16] = 0;  // an extensible format without its extension
    EXPECT_FALSE(QueryFromWaveFormat(wfx, sizeof wfx, &q));
    wfx[0] = 3;
    wfx[1] = 0;
    ASSERT_TRUE(QueryFromWaveFormat(wfx, 18, &q));
    EXPECT_EQ(q.subFormat, WaveTagGuid(3));
    EXPECT_TRUE(IsWaveTagGuid(q.subFormat));
    EXPECT_FALSE(IsWaveTagGuid(kTypeAudio));
}

}  // namespace
}  // namespace kswire
